#pragma once

#include "DirectoryNode.h"
#include "ImageFormat.h"
#include "Package.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QList>
#include <QThread>

namespace korvo {

// One pack of the packaging dialog on a thread of its own, so that a long
// pack (or a search for the fewest packages, which requestInterruption()
// ends with the best packing found) never holds the window. Its results are
// read once the thread has finished.
class PackingRun : public QThread
{
public:
    PackingRun(const PackageOrder& order, int sort, const DirectoryNodePtr& root, ImageFormat image,
               SplitFolders split, QObject* parent = nullptr);

    const PackageOrder order;
    const ImageFormat image;
    const SplitFolders split; // folders larger than the limit are packed as their pieces
    QList<PackagePtr> packages;
    QList<PackagablePtr> leftOut; // items that alone exceed the limit
    int lowerBound = 0;           // at least how many packages any packing needs

protected:
    void run() override;

private:
    const int sort_;
    const DirectoryNodePtr root_;
};

} // namespace korvo
