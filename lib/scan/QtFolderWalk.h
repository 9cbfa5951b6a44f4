#pragma once

#include "FolderWalk.h"

#include <QVector>

namespace korvo {

// The walk through QDir and QFileInfo: what every platform has, and the
// reference the faster native walks are held to.
class QtFolderWalk : public FolderWalk
{
public:
    QtFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry);

    DirectoryNodePtr root() const override { return root_; }
    void run(const std::atomic<bool>& cancel, const Listed& listed) override;

private:
    // Lists one folder; its subfolders join `pending_`.
    FolderSums list(const DirectoryNodePtr& folder);

    DirectoryNodePtr root_;
    DriveGeometry geometry_;
    QVector<DirectoryNodePtr> pending_;
};

} // namespace korvo
