#pragma once

#include "DirectoryNode.h"
#include "FileNode.h"
#include "Package.h"
#include "PackageOrder.h"
#include "SaturatingSum.h"

#include <QList>
#include <QVector>

#include <vector>

// The strategies of the packer: how candidates are ordered and placed into
// packages. Used by Packer only.
namespace korvo::packing {

// Builds the packages of one packing: items go into the current package
// until it is closed, and a closed package is never reopened.
class PackageBuilder
{
public:
    // `fixed`: what each package weighs besides its items; `scannedFolder`:
    // the folder the items' paths are relative to.
    PackageBuilder(const PackageOrder& order, qint64 fixed, const FolderPath& scannedFolder,
                   QList<PackagePtr>& packages)
        : order_(order), fixed_(fixed), scannedFolder_(scannedFolder), packages_(packages)
    {
    }

    bool isEmpty() const { return items_.isEmpty(); }
    // What the items added so far weigh against the limit.
    qint64 weight() const { return weight_; }

    void add(const PackagablePtr& item, qint64 itemSize, qint64 itemSizeOnDisk, qint64 itemWeight)
    {
        items_.append(item);
        size_ = addSaturating(size_, itemSize);
        sizeOnDisk_ = addSaturating(sizeOnDisk_, itemSizeOnDisk);
        weight_ = addSaturating(weight_, itemWeight);
    }

    void close()
    {
        PackagePtr package(new Package);
        package->size = size_;
        package->sizeOnDisk = sizeOnDisk_;
        package->weight = addSaturating(weight_, fixed_);
        package->packageOrder = order_;
        package->items = items_;
        package->scannedFolder = scannedFolder_;
        packages_.append(package);
        size_ = 0;
        sizeOnDisk_ = 0;
        weight_ = 0;
        items_.clear();
    }

private:
    const PackageOrder& order_;
    qint64 fixed_;
    FolderPath scannedFolder_;
    QList<PackagePtr>& packages_;
    qint64 size_ = 0;
    qint64 sizeOnDisk_ = 0;
    qint64 weight_ = 0;
    QList<PackagablePtr> items_;
};

// One top-level item that fits the limit: where the root lists it (its
// files first, then its subfolders) and its two figures, read once.
struct Candidate
{
    int source;
    qint64 size;       // totalSize(): the size sort key and the package's size
    qint64 sizeOnDisk; // totalSizeOnDisk(): the package's size on disk
    qint64 weight;     // what must fit: the size on disk, or the item's share of an image
};

// The items to pack by their position: the root's own, as it lists them
// (its files first, then its subfolders), or, where folders are split, the
// pieces in the order the split found them.
class Sources
{
public:
    explicit Sources(const DirectoryNode& root)
        : root_(root), files_(root.files()), folders_(root.subdirectories())
    {
    }
    Sources(const DirectoryNode& root, QVector<PackagablePtr> pieces)
        : root_(root), files_(root.files()), folders_(root.subdirectories()), pieces_(std::move(pieces)), split_(true)
    {
    }

    PackagablePtr item(int source) const
    {
        if (split_)
            return pieces_.at(source);
        if (source < files_.size())
            return files_.at(source);
        return folders_.at(source - files_.size());
    }

    // The name the name sorts order by: a piece's path below the root.
    QString fileName(int source) const;
    // The piece at a position where folders are split; null otherwise.
    const iPackagable* piece(int source) const { return split_ ? pieces_.at(source).data() : nullptr; }

    // The folder every item's path is relative to.
    const FolderPath& root() const { return root_.path(); }

private:
    const DirectoryNode& root_;
    const QVector<FileNodePtr>& files_;
    const QVector<DirectoryNodePtr>& folders_;
    QVector<PackagablePtr> pieces_;
    bool split_ = false;
};

// Places the candidates by best fit, in listed order among equals.
void placeBestFit(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                  PackageBuilder& builder);
// Places the candidates in their order, each closing the package it does not fit.
void placeNextFit(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                  PackageBuilder& builder);
// Orders the candidates for the sort modes that order them (stable).
void sortCandidates(std::vector<Candidate>& candidates, const Sources& sources, int sort);

} // namespace korvo::packing
