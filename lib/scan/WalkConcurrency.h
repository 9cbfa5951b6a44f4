#pragma once

#include "FileSystemKind.h"
#include "NativePath.h"

#include <functional>

namespace korvo {

// Tells the kind of file system that holds a folder. A walk asks for its
// root, and again where it enters a folder on another device (a file system
// mounted below the root). `fd` is the folder's open descriptor where the
// walk has one, else -1. Tests put their own in place of the system's.
using FileSystemProbe = std::function<platform::FileSystemKind(const NativePath& folder, int fd)>;

// The system's answer: the open descriptor's file system where there is
// one, else the path's.
FileSystemProbe systemFileSystemProbe();

// How a walk spreads its requests over threads on one kind of file system.
struct WalkConcurrency
{
    // Walking threads.
    int walkers = 1;
    // The entries of one folder are statted by several walkers at once, in
    // blocks, so that a folder's stats overlap.
    bool shareStats = false;
    // `walkers` was given by the caller or the environment and stays fixed,
    // whatever file systems the walk enters.
    bool fixed = false;
};

// The most walking threads a walk uses, given or chosen.
const int MaxWalkers = 64;

// The walk's concurrency on a file system of the given kind: `requested`
// walkers when the caller asks for some (--threads), else `environment`
// (KORVO_SCAN_THREADS) when it is set, else the default for the kind. A
// local file system is limited by the processors: four walkers for each of
// them (4 to 32), which keeps them busy while some walkers wait for the
// disk. A remote one is limited by round trips, whatever the processors:
// MaxWalkers, and a folder's stats shared out. Counts above MaxWalkers are
// cut to it; 0 or less means not given.
WalkConcurrency walkConcurrency(platform::FileSystemKind kind, int requested, int environment, int processors);

// The same with KORVO_SCAN_THREADS and this machine's processors.
WalkConcurrency walkConcurrency(platform::FileSystemKind kind, int requested);

} // namespace korvo
