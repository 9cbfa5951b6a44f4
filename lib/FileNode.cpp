#include "FileNode.h"

#include "DriveGeometry.h"
#include "Platform.h"

#include <QFileInfo>

namespace korvo {

FileNode::FileNode(const QFileInfo& info, const DriveGeometry& geometry)
    : FileNode(info.absolutePath(), info.fileName(), 0, 0, NodeTimes::fromFileInfo(info))
{
    size_ = sizeOf(info);
    sizeOnDisk_ = geometry.roundToClusters(size_);
}

FileNode::FileNode(const QString& absolutePath, const QString& fileName, qint64 size, qint64 sizeOnDisk,
                   const NodeTimes& times)
    : FileNode(absolutePath, fileName, 0, fileName.size(), size, sizeOnDisk, times)
{
}

FileNode::FileNode(const QString& absolutePath, const QString& names, int nameOffset, int nameLength, qint64 size,
                   qint64 sizeOnDisk, const NodeTimes& times)
    : size_(size),
      sizeOnDisk_(sizeOnDisk),
      names_(names),
      absolutePath_(absolutePath),
      times_(times),
      nameOffset_(nameOffset),
      nameLength_(nameLength)
{
    Q_ASSERT(nameOffset >= 0 && nameLength >= 0 && nameOffset + nameLength <= names.size());
}

qint64 FileNode::sizeOf(const QFileInfo& info)
{
    return info.isSymLink() ? platform::linkTargetSize(info.absoluteFilePath()) : info.size();
}

QString FileNode::fileName() const
{
    if (nameOffset_ == 0 && nameLength_ == names_.size())
        return names_;
    return names_.mid(nameOffset_, nameLength_);
}

QString FileNode::absoluteFilePath() const
{
    const QStringRef name = names_.midRef(nameOffset_, nameLength_);
    QString path;
    path.reserve(absolutePath_.size() + 1 + name.size());
    path += absolutePath_;
    if (!absolutePath_.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += name;
    return path;
}

QString FileNode::suffix() const
{
    // As QFileInfo::suffix(): the text after the last dot, empty without one
    // (".profile" has the suffix "profile").
    const QStringRef name = names_.midRef(nameOffset_, nameLength_);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toString();
}

} // namespace korvo
