#include "TreeBuilder.h"

#include <QFile>
#include <QVector>

namespace korvo::test {

DirectoryNodePtr TreeBuilder::root(const QString& absoluteFilePath, const NodeTimes& times)
{
    // "C:/" names a drive root: no name, the path is the whole text.
    const int slash = absoluteFilePath.lastIndexOf(QLatin1Char('/'));
    if (slash == absoluteFilePath.size() - 1)
        return DirectoryNodePtr::create(DirectoryNodePtr(), absoluteFilePath, QString(), times);
    const QString folder = slash == 0 ? QStringLiteral("/") : absoluteFilePath.left(slash);
    return DirectoryNodePtr::create(DirectoryNodePtr(), folder, absoluteFilePath.mid(slash + 1), times);
}

DirectoryNodePtr TreeBuilder::folder(const DirectoryNodePtr& parent, const QString& name, const NodeTimes& times)
{
    const auto node = DirectoryNodePtr::create(parent, parent->absoluteFilePath(), name, times);
    parent->appendSubdirectory(node);
    return node;
}

FileNodePtr TreeBuilder::file(const DirectoryNodePtr& parent, const QString& name, qint64 size, qint64 cluster,
                              const NodeTimes& times)
{
    const qint64 onDisk = cluster > 0 ? (size + cluster - 1) / cluster * cluster : 0;
    const auto node = FileNodePtr::create(parent->absoluteFilePath(), name, size, onDisk, times);
    parent->appendFile(node);
    return node;
}

FileNodePtr TreeBuilder::fileIn(const DirectoryNodePtr& parent, const QString& name, qint64 size, qint64 cluster)
{
    auto* shared = new FileNode::Shared;
    shared->folder = parent->path();
    shared->names = name;
    shared->hasOwnSizeOnDisk = true;
    shared->ownSizeOnDisk = cluster > 0 ? (size + cluster - 1) / cluster * cluster : 0;
    const auto node = FileNodePtr::create(FileNode::SharedPtr(shared), 0, int(name.size()), size, NodeTimes());
    parent->appendFile(node);
    return node;
}

void TreeBuilder::total(const DirectoryNodePtr& root)
{
    // Every folder, parents before children; totalled in reverse.
    QVector<DirectoryNodePtr> order{root};
    for (int i = 0; i < order.size(); ++i)
        order += order.at(i)->subdirectories();
    for (int i = order.size() - 1; i >= 0; --i) {
        const DirectoryNodePtr& node = order.at(i);
        qint64 size = 0;
        qint64 onDisk = 0;
        for (const auto& file : node->files()) {
            size += file->size();
            onDisk += file->sizeOnDisk();
        }
        node->setOwnSizes(size, onDisk);
        qint64 totalSize = size;
        qint64 totalOnDisk = onDisk;
        qint32 files = node->fileCount();
        qint32 folders = node->subdirectoryCount();
        for (const auto& sub : node->subdirectories()) {
            totalSize += sub->totalSize();
            totalOnDisk += sub->totalSizeOnDisk();
            files += sub->totalFileCount();
            folders += sub->totalSubdirectoryCount();
        }
        node->setTotals(totalSize, totalOnDisk, files, folders);
    }
}

DirectoryNodePtr TreeBuilder::example(const NodeTimes& times)
{
    const DirectoryNodePtr r = root(QStringLiteral("C:/data/R"), times);
    file(r, QStringLiteral("a.txt"), 1024, 4096, times);
    file(r, QStringLiteral("b.txt"), 2048, 4096, times);
    const DirectoryNodePtr x = folder(r, QStringLiteral("X"), times);
    file(x, QStringLiteral("c.txt"), 512, 4096, times);
    folder(r, QStringLiteral("Y"), times);
    total(r);
    return r;
}

DirectoryNodePtr TreeBuilder::chain(int depth)
{
    // Every node names the same folder path: real paths would grow with
    // the depth and make the tree's size quadratic.
    const QString path = QStringLiteral("/deep");
    const DirectoryNodePtr r = root(path);
    DirectoryNodePtr current = r;
    for (int i = 0; i < depth; ++i) {
        const auto next = DirectoryNodePtr::create(current, path, QStringLiteral("d"), NodeTimes());
        current->appendSubdirectory(next);
        current = next;
        current->appendFile(FileNodePtr::create(path, QStringLiteral("f"), 1, 4096, NodeTimes()));
    }
    total(r);
    return r;
}

void TreeBuilder::release(DirectoryNodePtr& root)
{
    QVector<DirectoryNodePtr> order{root};
    for (int i = 0; i < order.size(); ++i)
        order += order.at(i)->subdirectories();
    root.reset();
    for (DirectoryNodePtr& node : order)
        node.reset();
}

NodeTimes timesAt(const QDateTime& local)
{
    NodeTimes times;
    times.created = times.lastModified = times.lastRead = NodeTimes::toMSecs(local);
    return times;
}

} // namespace korvo::test
