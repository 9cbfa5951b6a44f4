#pragma once

#include "FolderHandle.h"
#include "NativePath.h"
#include "NestedFolders.h"

#include <QList>
#include <QString>

#include <memory>

namespace korvo {

// Where the pieces of split folders move between: the folders that hold a
// piece below the scanned folder (its source) and below its package folder
// (its target), each opened level by level without following links, from
// the two top folders. A piece's levels are its path below both tops, its
// own name last. On the caller's thread.
class PieceRoutes
{
public:
    // `target`, when given, is the open target top; else it is opened from
    // `targetFolder` when first needed. The source top is opened from
    // `sourceFolder` when first needed.
    PieceRoutes(const NativePath& sourceFolder, const NativePath& targetFolder,
                const platform::FolderHandle* target = nullptr);
    ~PieceRoutes();
    PieceRoutes(const PieceRoutes&) = delete;
    PieceRoutes& operator=(const PieceRoutes&) = delete;

    enum class Side { Source, Target };

    // The open folder that holds the piece at `levels` on one side (made
    // when missing, with `create`); null with the line that says why.
    // `missing` is set when only a level that does not exist stood in the
    // way (and nothing was made).
    const platform::FolderHandle* holder(Side side, const QList<NativePath>& levels, bool create, QString* line,
                                         bool* missing = nullptr);

    // The open folder at `folder` below the top on one side (the top itself
    // for none), without making anything; null with the line that says why.
    const platform::FolderHandle* folder(Side side, const QList<NativePath>& folder, QString* line);

    // Removes, deepest first, each folder on one side that holds one of the
    // pieces (at any level above it, below the top) and that is empty now;
    // a folder still holding anything stays. Nothing is reported: an empty
    // folder left behind loses nothing.
    void removeEmptyFolders(Side side, const QList<QList<NativePath>>& pieces);

    // Lets go of every folder held below the tops.
    void release();

private:
    bool openTop(Side side, QString* line);

    NativePath tops_[2];
    const platform::FolderHandle* given_ = nullptr;
    platform::FolderHandle opened_[2];
    std::unique_ptr<NestedFolders> below_[2];
};

} // namespace korvo
