#include "Platform.h"
#include "Enumerate.h"
#include "Packager.h"
#include "SizeFormat.h"
#include "ScanSupport.h"
#include "TestSupport.h"

#include <QFile>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

QStringList fileNames(const DirectoryNodePtr& folder)
{
    QStringList names;
    for (const FileNodePtr& file : folder->files())
        names << file->fileName();
    return names;
}

QStringList folderNames(const DirectoryNodePtr& folder)
{
    QStringList names;
    for (const DirectoryNodePtr& sub : folder->subdirectories())
        names << sub->fileName();
    return names;
}

FileNodePtr fileNamed(const DirectoryNodePtr& folder, const QString& name)
{
    for (const FileNodePtr& file : folder->files()) {
        if (file->fileName() == name)
            return file;
    }
    return FileNodePtr();
}

#ifndef Q_OS_WIN
// One line per folder: its path, its files with sizes and its subfolders.
QByteArray describe(const DirectoryNodePtr& root)
{
    QByteArray text;
    for (const DirectoryNodePtr& folder : allFolders(root)) {
        text += folder->absoluteFilePath().toUtf8() + " files:";
        for (const FileNodePtr& file : folder->files())
            text += ' ' + file->fileName().toUtf8() + '=' + QByteArray::number(file->size());
        text += " folders:" + folderNames(folder).join(QLatin1Char(',')).toUtf8() + '\n';
    }
    return text;
}
#endif

// Builds a random tree below `root`; returns the number of files and folders
// made and the sum of the file sizes.
struct Made
{
    int files = 0;
    int folders = 0;
    qint64 bytes = 0;
};

Made makeTree(const QString& root, quint32 seed, int folders, int maxFiles, int maxDepth)
{
    QRandomGenerator random(seed);
    Made made;
    QStringList paths{root};
    QVector<int> depths{0};
    for (int i = 0; i < folders; ++i) {
        int parent = int(random.bounded(paths.size()));
        while (depths.at(parent) >= maxDepth)
            parent = int(random.bounded(paths.size()));
        const QString path = paths.at(parent) + QStringLiteral("/d%1").arg(i);
        makeFolder(path);
        paths << path;
        depths << depths.at(parent) + 1;
        ++made.folders;
    }
    for (const QString& path : qAsConst(paths)) {
        const int count = int(random.bounded(maxFiles + 1));
        for (int j = 0; j < count; ++j) {
            const qint64 size = random.bounded(9000);
            writeFile(path + QStringLiteral("/f%1.dat").arg(j), size);
            ++made.files;
            made.bytes += size;
        }
    }
    return made;
}

} // namespace

class EnumerateTest : public QObject
{
    Q_OBJECT
private slots:
    void emptyFolder_data()
    {
        QTest::addColumn<int>("method");
        QTest::newRow("native") << int(ListingMethod::Native);
        QTest::newRow("qdir") << int(ListingMethod::QtFileInfo);
    }
    void emptyFolder()
    {
        QFETCH(int, method);
        QTemporaryDir dir;
        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(dir.path(), ListingMethod(method), &progress);
        QVERIFY(root);
        QCOMPARE(root->absoluteFilePath(), QFileInfo(dir.path()).absoluteFilePath());
        QCOMPARE(root->depth(), 0);
        QVERIFY(root->isRoot());
        QVERIFY(!root->isLastSubdirectory());
        QCOMPARE(root->fileCount(), 0);
        QCOMPARE(root->subdirectoryCount(), 0);
        QCOMPARE(root->totalSize(), 0);
        QCOMPARE(root->totalSizeOnDisk(), 0);
        QCOMPARE(root->totalFileCount(), 0);
        QCOMPARE(root->totalSubdirectoryCount(), 0);
        QCOMPARE(progress.phase, 3);
        QCOMPARE(progress.fileCount, 0);
        QCOMPARE(progress.directoryCount, 0);
    }

    void smallTrees_data() { emptyFolder_data(); }
    void smallTrees()
    {
        QFETCH(int, method);
        QTemporaryDir dir;
        // One 10-byte file and one empty folder.
        QVERIFY(writeFile(dir.filePath(QStringLiteral("one/file.txt")), 10));
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("one/empty"))));
        EnumerateProgress progress;
        DirectoryNodePtr root = scanFolder(dir.filePath(QStringLiteral("one")), ListingMethod(method), &progress);
        QVERIFY(root);
        QCOMPARE(root->size(), 10);
        QCOMPARE(root->totalSize(), 10);
        QCOMPARE(root->totalFileCount(), 1);
        QCOMPARE(root->totalSubdirectoryCount(), 1);
        QCOMPARE(progress.fileCount, 1);
        QCOMPARE(progress.directoryCount, 1);
        QCOMPARE(progress.totalSize, 10);
        const DirectoryNodePtr empty = root->subdirectory(0);
        QCOMPARE(empty->depth(), 1);
        QVERIFY(empty->isLastSubdirectory());
        QCOMPARE(empty->parent(), root);
        QCOMPARE(empty->absolutePath(), root->absoluteFilePath());
        QCOMPARE(root->file(0)->absoluteFilePath(), root->absoluteFilePath() + QStringLiteral("/file.txt"));
        QCOMPARE(root->file(0)->suffix(), QStringLiteral("txt"));

        // a/b/c with one file in c.
        QVERIFY(writeFile(dir.filePath(QStringLiteral("chain/a/b/c/x")), 7));
        root = scanFolder(dir.filePath(QStringLiteral("chain")), ListingMethod(method), &progress);
        QVERIFY(root);
        const DirectoryNodePtr a = root->subdirectory(0);
        const DirectoryNodePtr b = a->subdirectory(0);
        const DirectoryNodePtr c = b->subdirectory(0);
        QCOMPARE(c->totalSize(), 7);
        QCOMPARE(c->depth(), 3);
        for (const DirectoryNodePtr& node : {c, b, a, root})
            QCOMPARE(node->totalFileCount(), 1);
        QCOMPARE(c->totalSubdirectoryCount(), 0);
        QCOMPARE(b->totalSubdirectoryCount(), 1);
        QCOMPARE(a->totalSubdirectoryCount(), 2);
        QCOMPARE(root->totalSubdirectoryCount(), 3);
        QCOMPARE(root->totalSize(), 7);
        QCOMPARE(progress.fileCount, 1);
        QCOMPARE(progress.directoryCount, 3);
    }

    void invariantsOnShapes_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("maxFiles");
        QTest::addColumn<int>("maxDepth");
        for (int method : {int(ListingMethod::Native), int(ListingMethod::QtFileInfo)}) {
            const char* name = method == int(ListingMethod::Native) ? "native" : "qdir";
            QTest::addRow("%s wide", name) << method << 60 << 6 << 1;
            QTest::addRow("%s bushy", name) << method << 150 << 4 << 6;
            QTest::addRow("%s deep", name) << method << 120 << 2 << 1000;
        }
    }
    void invariantsOnShapes()
    {
        QFETCH(int, method);
        QFETCH(int, folders);
        QFETCH(int, maxFiles);
        QFETCH(int, maxDepth);
        QTemporaryDir dir;
        const Made made = makeTree(dir.path(), quint32(folders * 31 + maxDepth), folders, maxFiles, maxDepth);
        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(dir.path(), ListingMethod(method), &progress);
        QVERIFY(root);
        QCOMPARE(invariantViolation(root), QString());
        QCOMPARE(root->totalFileCount(), made.files);
        QCOMPARE(root->totalSubdirectoryCount(), made.folders);
        QCOMPARE(root->totalSize(), made.bytes);
        QCOMPARE(progress.fileCount, made.files);
        QCOMPARE(progress.directoryCount, made.folders);
        QCOMPARE(progress.totalSize, made.bytes);
        QCOMPARE(progress.totalSizeOnDisk, root->totalSizeOnDisk());
        QVERIFY(progress.listingSeconds >= 0 && progress.totallingSeconds >= 0);
    }

    void nameOrder_data() { emptyFolder_data(); }
    void nameOrder()
    {
        QFETCH(int, method);
        QTemporaryDir dir;
        for (const char* name : {"c", "b", "A", "ab", "AB", "Ab", "aB", "_x", "Z.txt", ".hidden"})
            QVERIFY(writeFile(dir.filePath(QString::fromLatin1(name)), 1));
#ifdef Q_OS_WIN
        // Names that differ only in case are one entry, which keeps the case
        // it was made with; a folder cannot take a file's name either.
        QVERIFY(!makeFolder(dir.filePath(QStringLiteral("B"))));
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("D"))));
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("e"))));
        const DirectoryNodePtr root = scanFolder(dir.path(), ListingMethod(method));
        QVERIFY(root);
        QCOMPARE(fileNames(root), QStringList({QStringLiteral(".hidden"), QStringLiteral("_x"), QStringLiteral("A"),
                                               QStringLiteral("ab"), QStringLiteral("b"), QStringLiteral("c"),
                                               QStringLiteral("Z.txt")}));
        QCOMPARE(folderNames(root), QStringList({QStringLiteral("D"), QStringLiteral("e")}));
#else
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("B"))));
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("a"))));
        const DirectoryNodePtr root = scanFolder(dir.path(), ListingMethod(method));
        QVERIFY(root);
        // Case-insensitively, "_" (0x5F) before letters; names equal but for
        // case by their exact text.
        QCOMPARE(fileNames(root), QStringList({QStringLiteral(".hidden"), QStringLiteral("_x"), QStringLiteral("A"),
                                               QStringLiteral("AB"), QStringLiteral("Ab"), QStringLiteral("aB"),
                                               QStringLiteral("ab"), QStringLiteral("b"), QStringLiteral("c"),
                                               QStringLiteral("Z.txt")}));
        QCOMPARE(folderNames(root), QStringList({QStringLiteral("a"), QStringLiteral("B")}));
#endif
    }

    void clusterRounding()
    {
        QCOMPARE(DriveGeometry(8, 512).clusterSize(), qint64(4096));
        const DriveGeometry geometry(8, 512);
        QCOMPARE(geometry.roundToClusters(0), qint64(0));
        QCOMPARE(geometry.roundToClusters(1), qint64(4096));
        QCOMPARE(geometry.roundToClusters(4096), qint64(4096));
        QCOMPARE(geometry.roundToClusters(4097), qint64(8192));
        QCOMPARE(DriveGeometry().roundToClusters(4097), qint64(0));
        // The largest sizes do not wrap around.
        const qint64 largest = std::numeric_limits<qint64>::max();
        QCOMPARE(geometry.roundToClusters(largest), largest);
        QCOMPARE(geometry.roundToClusters(largest - largest % 4096), largest - largest % 4096);

        QTemporaryDir dir;
        for (qint64 size : {0, 1, 4096, 4097})
            QVERIFY(writeFile(dir.filePath(QStringLiteral("f%1").arg(size)), size));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("sub/g")), 3));
        for (ListingMethod method : {ListingMethod::Native, ListingMethod::QtFileInfo}) {
            EnumerateOptions options;
            options.method = method;
            options.useGeometry = true;
            options.geometry = geometry;
            std::atomic<bool> cancel{false};
            EnumerateProgress progress;
            const DirectoryNodePtr root = enumerateTree(QDir(dir.path()), cancel, progress, nullptr, options);
            QVERIFY(root);
            QCOMPARE(fileNamed(root, QStringLiteral("f0"))->sizeOnDisk(), qint64(0));
            QCOMPARE(fileNamed(root, QStringLiteral("f1"))->sizeOnDisk(), qint64(4096));
            QCOMPARE(fileNamed(root, QStringLiteral("f4096"))->sizeOnDisk(), qint64(4096));
            QCOMPARE(fileNamed(root, QStringLiteral("f4097"))->sizeOnDisk(), qint64(8192));
            QCOMPARE(root->sizeOnDisk(), qint64(16384));
            QCOMPARE(root->totalSizeOnDisk(), qint64(20480));
            QCOMPARE(progress.totalSizeOnDisk, qint64(20480));

            // Unknown geometry: sizes stay, sizes on disk are all 0.
            options.geometry = DriveGeometry();
            const DirectoryNodePtr unknown = enumerateTree(QDir(dir.path()), cancel, progress, nullptr, options);
            QCOMPARE(unknown->totalSize(), qint64(4096 + 4097 + 1 + 3));
            QCOMPARE(unknown->totalSizeOnDisk(), qint64(0));
        }
    }

    void clusterOfTheFileSystem()
    {
#ifdef Q_OS_WIN
        // The clusters of the drive that holds the folder, as its root tells.
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(QFileInfo(dir.path()).absoluteFilePath());
        DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
        QVERIFY(GetDiskFreeSpaceW(reinterpret_cast<const wchar_t*>(path.left(3).utf16()), &sectors, &bytes,
                                  &freeClusters, &clusters));
        const DriveGeometry geometry = platform::driveGeometry(NativePath::fromText(dir.path()));
        QCOMPARE(geometry.drive, path.at(0).toUpper().unicode() - 'A');
        QCOMPARE(geometry.clusterSize(), qint64(sectors) * qint64(bytes));
        QVERIFY(geometry.clusterSize() > 0);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("one")), 1));
        const DirectoryNodePtr root = scanFolder(dir.path());
        QVERIFY(root);
        QCOMPARE(root->totalSizeOnDisk(), geometry.clusterSize());
#else
        QTemporaryDir dir;
        struct statvfs info;
        QCOMPARE(::statvfs(QFile::encodeName(dir.path()).constData(), &info), 0);
        const qint64 expected = info.f_frsize ? qint64(info.f_frsize) : qint64(info.f_bsize);
        QCOMPARE(platform::driveGeometry(NativePath::fromText(dir.path())).clusterSize(), expected);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("one")), 1));
        const DirectoryNodePtr root = scanFolder(dir.path());
        QCOMPARE(root->file(0)->sizeOnDisk(), expected);
        // A folder that does not exist has no geometry.
        QCOMPARE(platform::driveGeometry(NativePath::fromText(dir.filePath(QStringLiteral("none/x")))).clusterSize(),
                 qint64(0));
#endif
    }

    void linksAndSpecialFiles_data() { emptyFolder_data(); }
    void linksAndSpecialFiles()
    {
#ifdef Q_OS_WIN
        QSKIP("POSIX links, FIFOs and sockets: a Windows shortcut is a plain file, as tst_listingcompare checks");
#else
        QFETCH(int, method);
        QTemporaryDir dir;
        const QString top = dir.filePath(QStringLiteral("top"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("target/inner.bin")), 5000));
        QVERIFY(writeFile(top + QStringLiteral("/real.txt"), 123));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("target")), top + QStringLiteral("/toFolder")));
        QVERIFY(QFile::link(top + QStringLiteral("/real.txt"), top + QStringLiteral("/toFile")));
        QVERIFY(QFile::link(top + QStringLiteral("/nowhere"), top + QStringLiteral("/dangling")));
        QVERIFY(QFile::link(top + QStringLiteral("/loop"), top + QStringLiteral("/loop")));
        QCOMPARE(::mkfifo(QFile::encodeName(top + QStringLiteral("/fifo")).constData(), 0644), 0);
        // A link to a FIFO is listed but never opened (opening would block).
        QVERIFY(QFile::link(top + QStringLiteral("/fifo"), top + QStringLiteral("/toFifo")));
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(sock >= 0);
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(top + QStringLiteral("/socket"));
        QVERIFY(socketPath.size() < int(sizeof address.sun_path));
        qstrcpy(address.sun_path, socketPath.constData());
        QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(top, ListingMethod(method), &progress);
        ::close(sock);
        QVERIFY(root);
        QCOMPARE(fileNames(root), QStringList({QStringLiteral("dangling"), QStringLiteral("loop"),
                                               QStringLiteral("real.txt"), QStringLiteral("toFifo"),
                                               QStringLiteral("toFile"), QStringLiteral("toFolder")}));
        QCOMPARE(root->subdirectoryCount(), 0); // the link to a folder is not entered
        QCOMPARE(fileNamed(root, QStringLiteral("toFolder"))->size(), 0);
        QCOMPARE(fileNamed(root, QStringLiteral("toFolder"))->sizeOnDisk(), 0);
        QCOMPARE(fileNamed(root, QStringLiteral("dangling"))->size(), 0);
        QVERIFY(!fileNamed(root, QStringLiteral("dangling"))->lastModified().isValid());
        QCOMPARE(fileNamed(root, QStringLiteral("loop"))->size(), 0);
        QCOMPARE(fileNamed(root, QStringLiteral("toFifo"))->size(), 0);
        QCOMPARE(fileNamed(root, QStringLiteral("toFile"))->size(), 123);
        QCOMPARE(fileNamed(root, QStringLiteral("toFile"))->lastModified(),
                 QFileInfo(top + QStringLiteral("/real.txt")).lastModified());
        QCOMPARE(root->totalSize(), 246);
        QCOMPARE(progress.fileCount, 6);
        QCOMPARE(progress.directoryCount, 0);
#endif
    }

    void unreadableFolders()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine: a folder cannot be made unreadable, as Wine does not enforce Windows access rights");
#else
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                      | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
                                                      | QFile::ExeGroup));
        const QString top = dir.filePath(QStringLiteral("top"));
        QVERIFY(writeFile(top + QStringLiteral("/locked/inside.txt"), 50));
        QVERIFY(writeFile(top + QStringLiteral("/listOnly/f.txt"), 60));
        QVERIFY(makeFolder(top + QStringLiteral("/listOnly/sub")));
        QVERIFY(QFile::link(QStringLiteral("f.txt"), top + QStringLiteral("/listOnly/link")));
        QVERIFY(writeFile(top + QStringLiteral("/secret.bin"), 70));
        QVERIFY(QFile::link(QStringLiteral("secret.bin"), top + QStringLiteral("/toSecret")));
        QVERIFY(writeFile(top + QStringLiteral("/open.txt"), 5));
        const QByteArray base = QFile::encodeName(top);
        QCOMPARE(::chmod(base + "/locked", 0), 0);
        QCOMPARE(::chmod(base + "/listOnly", 0644), 0); // may be listed, not searched
        QCOMPARE(::chmod(base + "/secret.bin", 0), 0);

        QByteArray native, qdir;
        QString why;
        const bool ran = runUnprivileged([&] { return describe(scanFolder(top)); }, &native, &why)
                         && runUnprivileged([&] { return describe(scanFolder(top, ListingMethod::QtFileInfo)); },
                                            &qdir, &why);
        ::chmod(base + "/locked", 0755);
        ::chmod(base + "/listOnly", 0755);
        if (!ran)
            QSKIP(qPrintable(why));
        QCOMPARE(native, qdir);
        const QByteArray path = top.toUtf8();
        // The locked folder is an empty folder. In the folder that can only
        // be listed, the entries are there but cannot be examined: the file
        // and the link have no size, the subfolder cannot be opened. The link
        // to the file nobody may read has no size; the file itself has one.
        QCOMPARE(native, path + " files: open.txt=5 secret.bin=70 toSecret=0 folders:listOnly,locked\n" + path
                             + "/listOnly files: f.txt=0 link=0 folders:sub\n" + path + "/locked files: folders:\n"
                             + path + "/listOnly/sub files: folders:\n");
#endif
    }

    void namesThatAreNotUtf8()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine: a name with a lone UTF-16 surrogate, Windows' kind of invalid name, cannot be stored on the "
              "Linux file system below");
#else
        QTemporaryDir dir;
        const QString top = dir.filePath(QStringLiteral("top"));
        auto cleanUp = qScopeGuard([&] { removeTree(top); }); // QTemporaryDir cannot see these names
        QVERIFY(makeFolder(top));
        // Two names that differ only in their undecodable bytes, and a valid
        // name that looks the same once those bytes show as U+FFFD.
        const QVector<QPair<QByteArray, qint64>> files = {
            {"good.txt", 10},          {"bad\xff.txt", 20},       {"bad\xfe.txt", 21},
            {"bad\xef\xbf\xbd.txt", 22}, {"\xc3\x28", 30},          {"folder\xfe/inner", 40},
            {"folder\xfe/w\xe9ird", 50}, {"folder\xfe/sub\xff/deep", 60}};
        QVERIFY(makeRawFolder(top, "folder\xfe"));
        QVERIFY(makeRawFolder(top, "folder\xfe/sub\xff"));
        for (const auto& file : files)
            QVERIFY(writeRawFile(top, file.first, file.second));

        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(top, ListingMethod::Native, &progress);
        QVERIFY(root);
        // Every entry counts, whatever its name; the names carry U+FFFD.
        QCOMPARE(progress.fileCount, files.size());
        QCOMPARE(progress.directoryCount, 2);
        QCOMPARE(root->totalSize(), 253);
        QCOMPARE(invariantViolation(root), QString());
        const QString replacement(QChar(0xFFFD));
        const QString lookalike = QStringLiteral("bad") + replacement + QStringLiteral(".txt");
        QCOMPARE(fileNames(root), QStringList({lookalike, lookalike, lookalike, QStringLiteral("good.txt"),
                                               replacement + QStringLiteral("(")}));
        QCOMPARE(root->file(0)->suffix(), QStringLiteral("txt"));
        const DirectoryNodePtr folder = root->subdirectory(0);
        QCOMPARE(folder->fileName(), QStringLiteral("folder") + replacement);
        QCOMPARE(fileNames(folder), QStringList({QStringLiteral("inner"), QStringLiteral("w") + replacement
                                                                              + QStringLiteral("ird")}));
        QCOMPARE(folder->totalSize(), 150);

        // Each node reaches its own entry, not a lookalike: its exact path
        // opens a file of its own size, and its exact name is the last part.
        QMap<QByteArray, qint64> reached;
        for (const DirectoryNodePtr& each : allFolders(root)) {
            for (const FileNodePtr& file : each->files()) {
                const QByteArray path = file->nativeFilePath().bytes();
                QVERIFY2(path.endsWith('/' + file->nativeFileName().bytes()), path.constData());
                struct stat info;
                QVERIFY2(::lstat(path.constData(), &info) == 0, path.constData());
                QCOMPARE(qint64(info.st_size), file->size());
                reached.insert(path.mid(QFile::encodeName(top).size() + 1), file->size());
            }
        }
        QMap<QByteArray, qint64> expected;
        for (const auto& file : files)
            expected.insert(file.first, file.second);
        QCOMPARE(reached, expected);
        QCOMPARE(folder->subdirectory(0)->nativeFilePath().bytes(), QFile::encodeName(top) + "/folder\xfe/sub\xff");

        // QDir drops them: the reason the native listing exists.
        const DirectoryNodePtr viaQDir = scanFolder(top, ListingMethod::QtFileInfo);
        QCOMPARE(fileNames(viaQDir), QStringList({QStringLiteral("bad") + replacement + QStringLiteral(".txt"),
                                                  QStringLiteral("good.txt")}));
#endif
    }

    void deepShapesWithFewDescriptors_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<bool>("teeth");
        // A chain far deeper than any path the system takes in one call (its
        // deepest path is 40,000 bytes), and a comb: a spine with a folder
        // hanging off every level, where walking up from every leaf would
        // cost leaves x depth.
        QTest::newRow("chain of 20,000 folders") << 20000 << false;
        QTest::newRow("comb of 3,000 levels") << 3000 << true;
    }
    void deepShapesWithFewDescriptors()
    {
#ifdef Q_OS_WIN
        // Longer than MAX_PATH (260 characters), which the plain file
        // functions refuse: reached in Qt's long form, listed like any other.
        QTemporaryDir dir;
        QString path = dir.path();
        while (path.size() <= 320)
            path += QStringLiteral("/a folder with a long name");
        QVERIFY(writeFile(path + QStringLiteral("/leaf.txt"), 42));
        const DirectoryNodePtr root = scanFolder(dir.path());
        QVERIFY(root);
        QCOMPARE(root->totalFileCount(), 1);
        QCOMPARE(root->totalSize(), qint64(42));
        QVERIFY(root->totalSubdirectoryCount() > 10);
        QCOMPARE(allFolders(root).last()->absoluteFilePath(), path);
#else
        QFETCH(int, levels);
        QFETCH(bool, teeth);
        QTemporaryDir dir;
        const QString top = dir.filePath(QStringLiteral("top"));
        auto cleanUp = qScopeGuard([&] { removeTree(top); });
        QVERIFY(makeFolder(top) && makeDeepTree(top, levels, teeth));

        // Far fewer descriptors than levels: every folder must be opened
        // relative to an open one, and only a few may be open at once.
        struct rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        struct rlimit few = saved;
        few.rlim_cur = 64;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(top, ListingMethod::Native, &progress);
        ::setrlimit(RLIMIT_NOFILE, &saved);

        QVERIFY(root);
        const qint64 chainBytes = qint64(levels) * (levels + 1) / 2;
        const int perLevel = teeth ? 2 : 1;
        QCOMPARE(progress.fileCount, levels * perLevel);
        QCOMPARE(progress.directoryCount, levels * perLevel);
        QCOMPARE(root->totalFileCount(), levels * perLevel);
        QCOMPARE(root->totalSubdirectoryCount(), levels * perLevel);
        QCOMPARE(root->totalSize(), chainBytes + (teeth ? levels : 0));
        QCOMPARE(invariantViolation(root), QString());
        DirectoryNodePtr deepest = root;
        while (deepest->subdirectoryCount() > 0)
            deepest = deepest->subdirectories().first(); // "d" sorts before "t"
        QCOMPARE(deepest->depth(), levels);
        QCOMPARE(deepest->fileCount(), 0);
        QCOMPARE(deepest->parent()->file(0)->size(), qint64(levels));
        QVERIFY(deepest->nativeFilePath().bytes().size() > 4096);
#endif
    }

    void sumsThatWouldWrapSaturate()
    {
#ifdef Q_OS_WIN
        QSKIP("sparse files of 2^62 bytes need a Linux tmpfs");
#else
        // Two sparse files of 2^62 bytes: their sum does not fit a qint64.
        // tmpfs takes files that large while keeping no blocks for them.
        if (!runningAsRoot())
            QSKIP("needs root to mount a small tmpfs that takes files of 2^62 bytes");
        QTemporaryDir dir;
        const QString disk = dir.filePath(QStringLiteral("disk"));
        QVERIFY(makeFolder(disk));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=1m"), 0);
        auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
        const qint64 huge = qint64(1) << 62;
        const qint64 largest = std::numeric_limits<qint64>::max();
        QVERIFY(writeRawFile(disk, "a", huge) && writeRawFile(disk, "b", huge));
        QVERIFY(makeFolder(disk + QStringLiteral("/sub")));
        QVERIFY(writeRawFile(disk + QStringLiteral("/sub"), "c", huge));
        QVERIFY(writeRawFile(disk + QStringLiteral("/sub"), "d", 5));

        EnumerateProgress progress;
        const DirectoryNodePtr root = scanFolder(disk, ListingMethod::Native, &progress);
        QVERIFY(root);
        QCOMPARE(root->size(), largest);
        QCOMPARE(root->sizeOnDisk(), largest);
        QCOMPARE(root->totalSize(), largest);
        QCOMPARE(root->totalSizeOnDisk(), largest);
        QCOMPARE(root->subdirectory(0)->totalSize(), huge + 5);
        QCOMPARE(progress.totalSize, largest);
        QCOMPARE(progress.totalSizeOnDisk, largest);
        QVERIFY(!formatSize(root->totalSize()).contains(QLatin1Char('-')));

        // Packed within the largest limit, no package holds more than it.
        QList<PackagePtr> packages;
        const PackageOrder order(largest, QStringLiteral("all"));
        for (int sort = Assorted; sort <= NameDescending; ++sort) {
            Packager().pack(order, sort, root, packages);
            QCOMPARE(packages.size(), 3);
            for (const PackagePtr& package : qAsConst(packages))
                QVERIFY(package->size > 0 && package->sizeOnDisk > 0 && package->sizeOnDisk <= largest);
        }
        // A saturated total is "this much or more": taking an item out adds
        // up what is left again instead of subtracting from the cap.
        Package fileA;
        fileA.items << root->file(0);
        root->remove(PackagePtr(new Package(fileA)));
        QCOMPARE(root->size(), huge);
        QCOMPARE(root->totalSize(), largest);
        Package fileB;
        fileB.items << root->file(0);
        root->remove(PackagePtr(new Package(fileB)));
        QCOMPARE(root->size(), 0);
        QCOMPARE(root->totalSize(), huge + 5);
#endif
    }

    void cancelledBeforeListing()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("a/b")), 5));
        std::atomic<bool> cancel{true};
        EnumerateProgress progress;
        const DirectoryNodePtr root = enumerateTree(QDir(dir.path()), cancel, progress);
        QVERIFY(!root);
        QCOMPARE(progress.phase, 3);
        QCOMPARE(progress.fileCount, 0);
        QCOMPARE(progress.directoryCount, 0);
        QCOMPARE(progress.totalSize, 0);
    }
};

QTEST_GUILESS_MAIN(EnumerateTest)
#include "tst_enumerate.moc"
