// The native listing must give, for every entry QDir lists, exactly what
// QDir and QFileInfo give. This scans generated trees with odd names, links
// and odd times both ways and compares every field of every node, and each
// node with a fresh QFileInfo of its path (created() included).

// QFileInfo::created() is deprecated but is the reference for `created`.
#undef QT_DISABLE_DEPRECATED_BEFORE
#define QT_DISABLE_DEPRECATED_BEFORE 0x050000

#include "DriveGeometry.h"
#include "Enumerate.h"
#include "ScanSupport.h"
#include "SortName.h"
#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#endif

QT_WARNING_DISABLE_DEPRECATED

using namespace korvo;
using namespace korvo::test;

namespace {

// Name parts chosen for what lower-casing and code-unit order do to them.
const char* const nameParts[] = {
    "a", "A", "b", "B", "z", "Z", "_", "-", " ", "~", "[", "{", "0", "9", ".", "..",
    "\xc3\xa9",             // é
    "\xc3\x89",             // É
    "\xc3\x9f",             // ß
    "\xce\xa3",             // Σ
    "\xcf\x83",             // σ
    "\xcf\x82",             // ς
    "\xc4\xb0",             // İ (lower case is two code units)
    "\xc4\xb1",             // ı
    "\xc7\x85",             // ǅ (title case)
    "\xef\xbc\xa1",         // Ａ (full width)
    "\xef\xbd\x81",         // ａ
    "\xe2\x84\xa6",         // Ω (ohm sign)
    "\xe2\x84\xaa",         // K (kelvin sign)
    "\xf0\x9f\x98\x80",     // 😀 (a surrogate pair)
    "\xe6\x97\xa5\xe6\x9c\xac", // 日本
    "e\xcc\x81",            // e + combining acute
    "\xef\xbf\xbd",         // U+FFFD itself, a valid name
    "\xef\xbf\xbe",         // U+FFFE
};

QString randomName(QRandomGenerator& random)
{
    QByteArray name;
    const int parts = 1 + int(random.bounded(4));
    for (int i = 0; i < parts; ++i)
        name += nameParts[random.bounded(int(sizeof nameParts / sizeof *nameParts))];
    if (random.bounded(3) == 0)
        name += QByteArray(".") + (random.bounded(2) ? "TXT" : "txt");
    return QString::fromUtf8(name);
}

bool setTimes(const QString& path, qint64 accessMSecs, qint64 modifyMSecs)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path) Q_UNUSED(accessMSecs) Q_UNUSED(modifyMSecs)
    return true;
#else
    auto toSpec = [](qint64 msecs) {
        struct timespec spec;
        spec.tv_sec = msecs / 1000;
        qint64 rest = msecs % 1000;
        if (rest < 0) {
            rest += 1000;
            spec.tv_sec -= 1;
        }
        spec.tv_nsec = long(rest * 1000000 + 999999); // sub-millisecond part too
        return spec;
    };
    const struct timespec times[2] = {toSpec(accessMSecs), toSpec(modifyMSecs)};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

// Times with edges: the epoch itself (which QFileInfo reports as no time),
// before it, and ordinary ones with milliseconds.
qint64 randomTime(QRandomGenerator& random, bool allowFuture)
{
    switch (random.bounded(6)) {
    case 0: return 0;
    case 1: return -1500;
    case 2: return -86400000LL * 365 * 30 + 123;
    case 3: return allowFuture ? 7258118400000LL + 42 : 1234567890123LL; // 2200
    default: return 1600000000000LL + qint64(random.bounded(1000000000));
    }
}

void makeOddTree(const QString& root, quint32 seed)
{
    QRandomGenerator random(seed);
    QStringList folders{root};
    QStringList files;
    for (int i = 0; i < 30; ++i) {
        const QString parent = folders.at(int(random.bounded(folders.size())));
        const QString path = parent + QLatin1Char('/') + randomName(random);
        if (QFileInfo::exists(path) || !QDir().mkdir(path))
            continue;
        folders << path;
    }
    // Some names share their first eight or sixteen bytes or more, also in
    // another letter case, so that they are ordered by the bytes after those.
    const QStringList longPrefixes{QStringLiteral("A long Shared PREFIX "), QStringLiteral("a long shared prefix "),
                                   QStringLiteral("a long shared prefix_"), QStringLiteral("a long s"),
                                   QStringLiteral("A LONG SH")};
    for (int i = 0; i < 250; ++i) {
        const QString parent = folders.at(int(random.bounded(folders.size())));
        const QString prefix = random.bounded(4) == 0 ? longPrefixes.at(int(random.bounded(longPrefixes.size()))) : QString();
        const QString path = parent + QLatin1Char('/') + prefix + randomName(random);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            continue;
#ifdef Q_OS_WIN
        // QFile::link makes a shell shortcut on Windows: a plain file that
        // the shell writes and may read again later, which changes its
        // access time between two scans. Plain files only there.
        const int kind = 3 + int(random.bounded(9));
#else
        const int kind = int(random.bounded(12));
#endif
        if (kind == 0 && !files.isEmpty()) {
            QFile::link(files.at(int(random.bounded(files.size()))), path); // link to a file
        } else if (kind == 1) {
            QFile::link(folders.at(int(random.bounded(folders.size()))), path); // link to a folder
        } else if (kind == 2) {
            QFile::link(path + QStringLiteral(".gone"), path); // dangling
        } else {
            writeFile(path, qint64(random.bounded(20000)));
            files << path;
            setTimes(path, randomTime(random, true), randomTime(random, true));
        }
    }
    // Folder times last (adding entries changes them); no future ones, so
    // that reading a folder changes its access time at most once.
    for (const QString& folder : qAsConst(folders)) {
        if (folder != root)
            setTimes(folder, randomTime(random, false), randomTime(random, false));
    }
}

#define COMPARE_FIELD(a, b, field, where)                                                                          \
    do {                                                                                                           \
        if (!QTest::qCompare((a)->field(), (b)->field(), #field, #field, __FILE__, __LINE__)) {                   \
            qWarning().noquote() << "at" << (where);                                                              \
            return false;                                                                                          \
        }                                                                                                          \
    } while (false)

bool sameFile(const FileNodePtr& a, const FileNodePtr& b)
{
    const QString where = a->absoluteFilePath();
    COMPARE_FIELD(a, b, fileName, where);
    COMPARE_FIELD(a, b, absolutePath, where);
    COMPARE_FIELD(a, b, absoluteFilePath, where);
    COMPARE_FIELD(a, b, suffix, where);
    COMPARE_FIELD(a, b, size, where);
    COMPARE_FIELD(a, b, sizeOnDisk, where);
    COMPARE_FIELD(a, b, created, where);
    COMPARE_FIELD(a, b, lastModified, where);
    COMPARE_FIELD(a, b, lastRead, where);
    return true;
}

bool sameFolder(const DirectoryNodePtr& a, const DirectoryNodePtr& b)
{
    const QString where = a->absoluteFilePath();
    COMPARE_FIELD(a, b, fileName, where);
    COMPARE_FIELD(a, b, absolutePath, where);
    COMPARE_FIELD(a, b, absoluteFilePath, where);
    COMPARE_FIELD(a, b, created, where);
    COMPARE_FIELD(a, b, lastModified, where);
    COMPARE_FIELD(a, b, lastRead, where);
    COMPARE_FIELD(a, b, depth, where);
    COMPARE_FIELD(a, b, size, where);
    COMPARE_FIELD(a, b, sizeOnDisk, where);
    COMPARE_FIELD(a, b, totalSize, where);
    COMPARE_FIELD(a, b, totalSizeOnDisk, where);
    COMPARE_FIELD(a, b, fileCount, where);
    COMPARE_FIELD(a, b, subdirectoryCount, where);
    COMPARE_FIELD(a, b, totalFileCount, where);
    COMPARE_FIELD(a, b, totalSubdirectoryCount, where);
    COMPARE_FIELD(a, b, isLastSubdirectory, where);
    for (int i = 0; i < a->fileCount(); ++i) {
        if (!sameFile(a->file(i), b->file(i)))
            return false;
    }
    return true;
}

// A node against what QFileInfo says of its path now.
template<typename Node>
bool matchesFileInfo(const Node& node)
{
    const QFileInfo info(node->absoluteFilePath());
    const QString where = node->absoluteFilePath();
    const auto check = [&](const auto& actual, const auto& expected, const char* what) {
        if (!QTest::qCompare(actual, expected, what, "QFileInfo", __FILE__, __LINE__)) {
            qWarning().noquote() << "at" << where;
            return false;
        }
        return true;
    };
    return check(node->fileName(), info.fileName(), "fileName")
           && check(node->absolutePath(), info.absolutePath(), "absolutePath")
           && check(node->absoluteFilePath(), info.absoluteFilePath(), "absoluteFilePath")
           && check(node->created(), info.created(), "created")
           && check(node->lastModified(), info.lastModified(), "lastModified")
           && check(node->lastRead(), info.lastRead(), "lastRead");
}

// Every node's exact path leads back to its own entry: a folder to a
// folder, a file or link to the entry itself (a link not followed), and no
// two nodes to the same one.
bool reachesItsOwnEntry(const DirectoryNodePtr& root)
{
#ifdef Q_OS_WIN
    Q_UNUSED(root)
    return true;
#else
    QSet<QPair<quint64, quint64>> seen;
    int nodes = 0;
    const auto reach = [&](const auto& node, bool folder) {
        struct stat info;
        const QByteArray path = node->nativeFilePath().bytes();
        ++nodes;
        if (::lstat(path.constData(), &info) != 0 || S_ISDIR(info.st_mode) != folder) {
            qWarning() << "not reached as a" << (folder ? "folder:" : "file:") << path;
            return false;
        }
        seen.insert({quint64(info.st_dev), quint64(info.st_ino)});
        return true;
    };
    for (const DirectoryNodePtr& folder : allFolders(root)) {
        if (!reach(folder, true))
            return false;
        for (const FileNodePtr& file : folder->files()) {
            if (!reach(file, false))
                return false;
        }
    }
    return seen.size() == nodes;
#endif
}

} // namespace

class ListingCompareTest : public QObject
{
    Q_OBJECT
private slots:
    void sameTreeBothWays_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << quint32(1);
        QTest::newRow("seed 2") << quint32(20261207);
        QTest::newRow("seed 3") << quint32(777);
    }
    void sameTreeBothWays()
    {
        QFETCH(quint32, seed);
#ifdef Q_OS_WIN
        QSKIP("Windows has no listing of its own to compare: both methods are the same QDir listing");
#endif
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        makeOddTree(dir.path(), seed);
        scanFolder(dir.path()); // reading each folder once settles its access time

        const DirectoryNodePtr native = scanFolder(dir.path(), ListingMethod::Native);
        const DirectoryNodePtr reference = scanFolder(dir.path(), ListingMethod::QtFileInfo);
        QVERIFY(native && reference);
        const QVector<DirectoryNodePtr> nativeFolders = allFolders(native);
        const QVector<DirectoryNodePtr> referenceFolders = allFolders(reference);
        QCOMPARE(nativeFolders.size(), referenceFolders.size());
        int files = 0, links = 0;
        for (int i = 0; i < nativeFolders.size(); ++i) {
            const DirectoryNodePtr& a = nativeFolders.at(i);
            const DirectoryNodePtr& b = referenceFolders.at(i);
            QStringList namesA, namesB;
            for (const FileNodePtr& f : a->files())
                namesA << f->fileName();
            for (const FileNodePtr& f : b->files())
                namesB << f->fileName();
            QCOMPARE(namesA, namesB); // same entries in the same order
            namesA.clear();
            namesB.clear();
            for (const DirectoryNodePtr& d : a->subdirectories())
                namesA << d->fileName();
            for (const DirectoryNodePtr& d : b->subdirectories())
                namesB << d->fileName();
            QCOMPARE(namesA, namesB);
            QVERIFY(sameFolder(a, b));
            QVERIFY(matchesFileInfo(a));
            for (const FileNodePtr& f : a->files()) {
                QVERIFY(matchesFileInfo(f));
                const QFileInfo info(f->absoluteFilePath());
                QCOMPARE(f->suffix(), info.suffix());
                if (info.isSymLink())
                    ++links;
                else
                    QCOMPARE(f->size(), info.size());
                ++files;
            }
        }
        QCOMPARE(invariantViolation(native), QString());
        QVERIFY(files > 150);
        QVERIFY(links > 10);
        QVERIFY(reachesItsOwnEntry(native));
    }

    void sameTreeWithAnyThreadCount_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::newRow("odd names") << QStringLiteral("odd");
        QTest::newRow("wide") << QStringLiteral("wide");
        QTest::newRow("huge folder") << QStringLiteral("huge");
#ifndef Q_OS_WIN
        QTest::newRow("deep") << QStringLiteral("deep");
        QTest::newRow("comb") << QStringLiteral("comb");
#endif
    }
    void sameTreeWithAnyThreadCount()
    {
        // However the folders are shared out among the threads, and in
        // whatever order they are listed, the tree is the same to the last
        // field, and so are the final counts.
        QFETCH(QString, shape);
        QTemporaryDir dir;
        const QString top = dir.filePath(QStringLiteral("top"));
        auto cleanUp = qScopeGuard([&] { removeTree(top); });
        QVERIFY(makeFolder(top));
        if (shape == QLatin1String("odd")) {
            makeOddTree(top, 4242);
        } else if (shape == QLatin1String("wide")) {
            for (int i = 0; i < 400; ++i)
                QVERIFY(writeFile(top + QStringLiteral("/w%1/f").arg(i), i % 7));
        } else if (shape == QLatin1String("huge")) {
            // One folder so big that several threads stat its entries at
            // once, with odd names and subfolders among them.
            makeOddTree(top, 77);
            for (int i = 0; i < 6000; ++i)
                QVERIFY(writeFile(top + QStringLiteral("/%1%2").arg(QLatin1String(i % 3 ? "h" : "H")).arg(i), i % 9));
        } else {
            // A chain far deeper than the descriptors a walker keeps open; the
            // field comparison reads every folder's path, so its cost grows
            // with the square of the depth.
            QVERIFY(makeDeepTree(top, shape == QLatin1String("deep") ? 1000 : 800, shape == QLatin1String("comb")));
        }
        scanFolder(top); // reading each folder once settles its access time

        EnumerateProgress oneProgress;
        const DirectoryNodePtr one = scanFolder(top, ListingMethod::Native, &oneProgress, 1);
        const QVector<DirectoryNodePtr> oneFolders = allFolders(one);
        // Also as on a remote file system, where idle walkers stat blocks of
        // other walkers' folders (0: its default of 64 walkers).
        const FileSystemProbe remote = [](const NativePath&, int) { return platform::FileSystemKind::Remote; };
        const QVector<QPair<int, bool>> ways{{2, false}, {3, false}, {8, false}, {8, false}, {0, true}, {3, true}};
        for (const auto& way : ways) {
            const int threads = way.first;
            EnumerateProgress progress;
            const DirectoryNodePtr many = scanFolder(top, ListingMethod::Native, &progress, threads,
                                                     way.second ? remote : FileSystemProbe());
            QVERIFY(many);
            QCOMPARE(progress.fileCount, oneProgress.fileCount);
            QCOMPARE(progress.directoryCount, oneProgress.directoryCount);
            QCOMPARE(progress.totalSize, oneProgress.totalSize);
            QCOMPARE(progress.totalSizeOnDisk, oneProgress.totalSizeOnDisk);
            const QVector<DirectoryNodePtr> folders = allFolders(many);
            QCOMPARE(folders.size(), oneFolders.size());
            for (int i = 0; i < folders.size(); ++i) {
                QVERIFY(sameFolder(folders.at(i), oneFolders.at(i)));
                QCOMPARE(folders.at(i)->nativeFilePath(), oneFolders.at(i)->nativeFilePath());
            }
        }
    }

    void sortKeysOrderAsLowerCaseText()
    {
        // The byte keys order any two names as their lower-case texts do,
        // code unit by code unit: ASCII against other units, units on either
        // side of the surrogates, names that begin one another, and keys
        // longer than the eight bytes compared first.
        const QVector<ushort> units{'a', 'B', 'z', '_', '0', 0x7F, 0x80, 0xC9, 0xFF, 0x100, 0x3A3, 0x3C3, 0x130,
                                    0x212A, 0x7FF, 0x800, 0xD7FF, 0xD83D, 0xDE00, 0xE000, 0xFF21, 0xFFFD, 0xFFFF};
        QRandomGenerator random(20261208);
        // Half the names are ASCII only, long enough to be lowered eight
        // bytes at a time, with the bytes on either side of the capitals.
        const QVector<ushort> asciiUnits{'@', 'A', 'M', 'Z', '[', '`', 'a', 'z', '{', '_', '0', 0x7F};
        auto randomName = [&] {
            QString name;
            const bool ascii = random.bounded(2) == 0;
            const QVector<ushort>& from = ascii ? asciiUnits : units;
            const int length = 1 + int(random.bounded(ascii ? 24 : 12));
            for (int i = 0; i < length; ++i)
                name += QChar(from.at(int(random.bounded(from.size()))));
            return name;
        };
        auto keyOf = [](const QString& name) {
            std::string key;
            const QByteArray latin1 = name.toLatin1();
            bool ascii = true;
            for (const QChar c : name)
                ascii = ascii && c.unicode() < 0x80;
            // An ASCII name's key is its lower-case bytes; any other name's
            // bytes (here a byte of 0x80 or above per other unit) are
            // refused wherever their first non-ASCII byte lies.
            QByteArray bytes;
            for (const QChar c : name)
                bytes += c.unicode() < 0x80 ? char(c.unicode()) : char(0x80 | (c.unicode() & 0x7F));
            std::string lowered(size_t(bytes.size()), '\0');
            const bool took = korvo::sortkey::lowerAscii(bytes.constData(), bytes.size(), &lowered[0]);
            if (took != ascii || (ascii && lowered != name.toLower().toStdString()))
                return std::string("lowerAscii failed");
            if (ascii)
                korvo::sortkey::appendAscii(key, latin1.constData(), latin1.size());
            else
                korvo::sortkey::appendLowered(key, name.toLower());
            return key;
        };
        auto sign = [](int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); };
        for (int i = 0; i < 20000; ++i) {
            QString a = randomName();
            QString b = random.bounded(4) == 0 ? a.left(int(random.bounded(a.size() + 1))) + randomName() : randomName();
            const std::string keyA = keyOf(a);
            const std::string keyB = keyOf(b);
            QVERIFY2(keyA != "lowerAscii failed" && keyB != "lowerAscii failed", qPrintable(a + QStringLiteral(" / ") + b));
            const int expected = sign(QString::compare(a.toLower(), b.toLower(), Qt::CaseSensitive));
            const int byKeys =
                sign(korvo::sortkey::compare(keyA.data(), int(keyA.size()), keyB.data(), int(keyB.size())));
            QVERIFY2(byKeys == expected, qPrintable(a + QStringLiteral(" / ") + b));
            // Prefixes that differ give the same order.
            const quint64 prefixA = korvo::sortkey::prefixOf(keyA.data(), int(keyA.size()));
            const quint64 prefixB = korvo::sortkey::prefixOf(keyB.data(), int(keyB.size()));
            if (prefixA != prefixB)
                QCOMPARE(prefixA < prefixB ? -1 : 1, expected);
        }
    }

    void orderOfLetterCaseEdges()
    {
        // Lower case is not case folding: final sigma stays before sigma,
        // the ohm and kelvin signs lower to omega and k, dotted I lowers to
        // two code units, title-case DŽ and full-width letters follow their
        // own lower cases.
        QTemporaryDir dir;
        const QStringList names = {
            QStringLiteral("σa"), QStringLiteral("ςb"), QStringLiteral("Σc"), QStringLiteral("\u212Ad"),
            QStringLiteral("ke"), QStringLiteral("Lf"), QStringLiteral("İg"), QStringLiteral("ih"),
            QStringLiteral("ji"), QStringLiteral("ßj"), QStringLiteral("ssk"), QStringLiteral("stl"),
            QStringLiteral("ǅm"), QStringLiteral("ǆn"), QStringLiteral("Ǆo"), QStringLiteral("ıp"),
            QStringLiteral("Iq"), QStringLiteral("ｚ"), QStringLiteral("Ａ"), QStringLiteral("\u2126r"),
            QStringLiteral("ωs"), QStringLiteral("\u2126A"), QStringLiteral("Kd"),
#ifndef Q_OS_WIN
            // Windows takes kd for the same name as Kd.
            QStringLiteral("kd")
#endif
        };
        for (const QString& name : names)
            QVERIFY(writeFile(dir.filePath(name), 1));
        const DirectoryNodePtr nativeRoot = scanFolder(dir.path(), ListingMethod::Native);
        const DirectoryNodePtr referenceRoot = scanFolder(dir.path(), ListingMethod::QtFileInfo);
        QStringList native, reference;
        for (const FileNodePtr& f : nativeRoot->files())
            native << f->fileName();
        for (const FileNodePtr& f : referenceRoot->files())
            reference << f->fileName();
        QCOMPARE(native.size(), names.size());
        QCOMPARE(native, reference);
        QCOMPARE(native.mid(0, 5), QStringList({QStringLiteral("ih"), QStringLiteral("Iq"), QStringLiteral("İg"),
                                                QStringLiteral("ji"), QStringLiteral("Kd")}));
#ifndef Q_OS_WIN
        QCOMPARE(native.at(5), QStringLiteral("kd"));
#endif
    }

    void fileNodeFromFileInfo()
    {
        // The QFileInfo constructor gives what the listings give.
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("x.tar.gz")), 5000));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("x.tar.gz")), dir.filePath(QStringLiteral(".link"))));
        QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("up"))));
        const DriveGeometry geometry(8, 512);
        const FileNode file(QFileInfo(dir.filePath(QStringLiteral("x.tar.gz"))), geometry);
        QCOMPARE(file.size(), 5000);
        QCOMPARE(file.sizeOnDisk(), 8192);
        QCOMPARE(file.suffix(), QStringLiteral("gz"));
        QCOMPARE(file.fileName(), QStringLiteral("x.tar.gz"));
        QCOMPARE(file.absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        QVERIFY(matchesFileInfo(&file));
#ifdef Q_OS_WIN
        // Windows makes shortcut files, which the file system does not
        // follow: read through its own path, a shortcut gives its own bytes.
        for (const char* name : {".link", "up"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            const FileNode shortcut(QFileInfo(path), geometry);
            QVERIFY(shortcut.size() > 0);
            QCOMPARE(shortcut.size(), qint64(test::readAll(path).size()));
        }
#else
        const FileNode link(QFileInfo(dir.filePath(QStringLiteral(".link"))), geometry);
        QCOMPARE(link.size(), 5000);
        QCOMPARE(link.suffix(), QStringLiteral("link"));
        const FileNode up(QFileInfo(dir.filePath(QStringLiteral("up"))), geometry);
        QCOMPARE(up.size(), 0);
        QVERIFY(matchesFileInfo(&link));
#endif
    }
};

QTEST_GUILESS_MAIN(ListingCompareTest)
#include "tst_listingcompare.moc"
