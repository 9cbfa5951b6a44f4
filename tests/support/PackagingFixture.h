#pragma once

#include "DirectoryNode.h"

#include <QString>
#include <QTemporaryDir>
#include <QUrl>

namespace korvo::test {

// Scans a folder on the calling thread; null when the scan fails.
DirectoryNodePtr scanFolder(const QString& path);

// A temporary volume for packaging tests, and the dialog's seams pointed into
// it for as long as the fixture lives:
//   volume/              the volume root the move puts korvo_pack under
//   data/                the folder of the user's orders and labels
//   scan/                the folder that is packed:
//     Delta/d1.bin (C), Delta/d2.bin (C), alpha.bin (3C), beta.txt (100 bytes),
//     gamma.dat (2C), huge.bin (5C)
// with C the cluster size of the temporary folder's file system. The user
// order "T4" (4C bytes) is stored in data/.
class PackagingFixture
{
public:
    PackagingFixture();
    ~PackagingFixture();

    // False (with a reason in `error`) when the file system gives no cluster
    // size or the folders cannot be made.
    bool isValid() const { return error.isEmpty(); }

    QString path(const QString& relative) const { return dir.filePath(relative); }
    // The base folder of order "T4" (or the one named) and the given label
    // under the volume.
    QString baseFolder(const QString& label, const QString& order = QStringLiteral("T4")) const;
    // The package folder N of order "T4" (or the one named) and the given label.
    QString packageFolder(const QString& label, int number, const QString& order = QStringLiteral("T4")) const;

    QTemporaryDir dir;
    QString error;
    qint64 cluster = 0;
    QString scan;
    QString volume;
    QString data;
    QList<QUrl> openedUrls; // what the dialog handed to the file browser
};

} // namespace korvo::test
