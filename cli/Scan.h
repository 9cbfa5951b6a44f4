#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"

#include <QString>

namespace korvo::cli {

// The outcome of scanning a command-line argument.
struct ScanResult
{
    DirectoryNodePtr root; // null on failure or cancel
    EnumerateProgress stats;
    QString folder;        // the absolute folder that was scanned
    QString errorString;   // why there is no root
};

// Scans the folder an argument names (a file stands for the folder that
// holds it, as a drop on the window does). On a terminal the running counts
// go to stderr once a second, and Ctrl-C cancels the scan cleanly.
// `threads` walking threads, 0 for the default.
ScanResult scanArgument(const QString& argument, int threads = 0);

// True when stderr is a terminal (progress lines are shown only there).
bool stderrIsTerminal();

// Writes one line to stderr, replacing the previous progress line.
void printProgressLine(const QString& text);
void endProgressLine();
// Removes the progress line from the terminal, leaving nothing behind.
void clearProgressLine();

} // namespace korvo::cli
