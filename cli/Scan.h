#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"
#include "ScanJob.h"

#include <QString>

namespace korvo::cli {

// The outcome of scanning a command-line argument.
struct ScanResult
{
    DirectoryNodePtr root; // null on failure or cancel
    EnumerateProgress stats;
    QString folder;        // the absolute folder that was scanned
    QString errorString;   // why there is no root
    QVector<UnreadableFolder> unreadable; // folders that could not be listed, counted as empty
};

// Scans the folder an argument names (a file stands for the folder that
// holds it, as a drop on the window does). On a terminal the running counts
// go to stderr once a second, and Ctrl-C cancels the scan cleanly. Each
// folder that could not be listed (it counts as empty, so the totals leave
// out whatever it holds) gets one warning line on stderr with the system's
// reason.
// `threads` walking threads, 0 for the default.
ScanResult scanArgument(const QString& argument, int threads = 0);

// The JSON members that name the folders the scan could not list:
// "unreadableFolderCount": N, "unreadableFolders": [paths], each path exact
// as jsonNames writes names.
QString jsonUnreadable(const ScanResult& scan);

} // namespace korvo::cli
