#pragma once

#include "FolderHandle.h"
#include "NativePath.h"

#include <QList>

#include <vector>

namespace korvo {

// The folders below one open folder, each reached level by level without
// following a link: where the pieces of a split folder come from (below the
// scanned folder) and where they go (below their package folder). The chain
// last opened stays open, so that the pieces of one folder, which follow
// one another, cost one open; opening another chain lets go of the levels
// it does not share, so a folder can be removed once nothing below it is
// asked for. On the caller's thread.
class NestedFolders
{
public:
    explicit NestedFolders(const platform::FolderHandle& top) : top_(top) {}
    NestedFolders(const NestedFolders&) = delete;
    NestedFolders& operator=(const NestedFolders&) = delete;

    // The open folder `levels` below the top (the top itself for none), or
    // null: `state` then says why (Missing, Link, NotAFolder, OtherOwner, or
    // Failed with the error code). With `create`, missing levels are made.
    // A level that others may write to is taken: every entry moved through
    // it is checked by identity.
    const platform::FolderHandle* open(const QList<NativePath>& levels, bool create, platform::FolderLevel* state,
                                       qint64* errorCode);

    // Lets go of every level held.
    void close();

private:
    const platform::FolderHandle& top_;
    QList<NativePath> names_;                  // the chain held, from below the top
    std::vector<platform::FolderHandle> held_; // held_[i]: the folder of names_[0..i]
};

} // namespace korvo
