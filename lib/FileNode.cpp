#include "FileNode.h"

#include "DriveGeometry.h"
#include "Platform.h"

#include <QFileInfo>

namespace korvo {

FileNode::FileNode(const QFileInfo& info, const DriveGeometry& geometry)
    : fileName_(info.fileName()),
      absolutePath_(info.absolutePath()),
      times_(NodeTimes::fromFileInfo(info))
{
    size_ = info.isSymLink() ? platform::linkTargetSize(info.absoluteFilePath()) : info.size();
    sizeOnDisk_ = geometry.roundToClusters(size_);
}

FileNode::FileNode(const QString& absolutePath, const QString& fileName, qint64 size, qint64 sizeOnDisk,
                   const NodeTimes& times)
    : size_(size), sizeOnDisk_(sizeOnDisk), fileName_(fileName), absolutePath_(absolutePath), times_(times)
{
}

QString FileNode::suffix() const
{
    // As QFileInfo::suffix(): the text after the last dot, empty without one.
    const int dot = fileName_.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName_.mid(dot + 1);
}

} // namespace korvo
