#include "FileNode.h"

#include "Platform.h"

#include <QFileInfo>

#include <algorithm>

namespace korvo {

namespace {

FileNode::SharedPtr sharedOf(const QString& absolutePath, const QString& fileName, const DriveGeometry& geometry)
{
    auto* shared = new FileNode::Shared;
    shared->folder = FolderPath::fromText(absolutePath);
    shared->names = fileName;
    shared->geometry = geometry;
    return FileNode::SharedPtr(shared);
}

} // namespace

FileNode::FileNode(const QFileInfo& info, const DriveGeometry& geometry)
    : FileNode(sharedOf(info.absolutePath(), info.fileName(), geometry), 0, info.fileName().size(), sizeOf(info),
               NodeTimes::fromFileInfo(info))
{
}

FileNode::FileNode(const QString& absolutePath, const QString& fileName, qint64 size, qint64 sizeOnDisk,
                   const NodeTimes& times)
    : size_(size), times_(times), nameOffset_(0), nameLength_(fileName.size())
{
    auto* shared = new Shared;
    shared->folder = FolderPath::fromText(absolutePath);
    shared->names = fileName;
    shared->hasOwnSizeOnDisk = true;
    shared->ownSizeOnDisk = sizeOnDisk;
    shared_ = SharedPtr(shared);
}

FileNode::FileNode(const SharedPtr& shared, int nameOffset, int nameLength, qint64 size, const NodeTimes& times)
    : size_(size), shared_(shared), times_(times), nameOffset_(nameOffset), nameLength_(nameLength)
{
    Q_ASSERT(shared && nameOffset >= 0 && nameLength >= 0
             && nameOffset + nameLength <= qMax(shared->names.size(), shared->latin1Names.size()));
}

qint64 FileNode::sizeOf(const QFileInfo& info)
{
    return info.isSymLink() ? platform::linkTargetSize(NativePath::fromText(info.absoluteFilePath())) : info.size();
}

qint64 FileNode::sizeOnDisk() const
{
    return shared_->hasOwnSizeOnDisk ? shared_->ownSizeOnDisk : shared_->geometry.roundToClusters(size_);
}

QString FileNode::fileName() const
{
    if (!shared_->latin1Names.isEmpty())
        return QString::fromLatin1(shared_->latin1Names.constData() + nameOffset_, nameLength_);
    const QString& names = shared_->names;
    if (nameOffset_ == 0 && nameLength_ == names.size())
        return names;
    return names.mid(nameOffset_, nameLength_);
}

QString FileNode::absoluteFilePath() const
{
    QString path = shared_->folder.text();
    path.reserve(path.size() + 1 + nameLength_);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (!shared_->latin1Names.isEmpty())
        path += QLatin1String(shared_->latin1Names.constData() + nameOffset_, nameLength_);
    else
        path += shared_->names.midRef(nameOffset_, nameLength_);
    return path;
}

NativePath FileNode::nativeFileName() const
{
    const QVector<Shared::RawName>& raw = shared_->rawNames;
    if (!raw.isEmpty()) {
        const auto found = std::lower_bound(raw.cbegin(), raw.cend(), nameOffset_,
                                            [](const Shared::RawName& a, qint32 b) { return a.nameOffset < b; });
        if (found != raw.cend() && found->nameOffset == nameOffset_)
            return found->name;
    }
    return NativePath::fromText(fileName());
}

NativePath FileNode::nativeFilePath() const
{
    NativePath path = shared_->folder.native();
    path.append(nativeFileName());
    return path;
}

QString FileNode::suffix() const
{
    // As QFileInfo::suffix(): the text after the last dot, empty without one
    // (".profile" has the suffix "profile").
    if (!shared_->latin1Names.isEmpty()) {
        const QLatin1String name(shared_->latin1Names.constData() + nameOffset_, nameLength_);
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : QString(name.mid(dot + 1));
    }
    const QStringRef name = shared_->names.midRef(nameOffset_, nameLength_);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toString();
}

} // namespace korvo
