// The measure of an image against images actually written: every image is
// at most what the measure says, and close to it; packages sized for
// images give images that fit their order and fill it.

#include "ChecksumManifest.h"
#include "ImageFormat.h"
#include "ImageSpace.h"
#include "ImageWeight.h"
#include "PackageImage.h"
#include "ScanSupport.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

using namespace korvo;
using namespace korvo::test;

namespace {

// A random name: short or long (past the 31 characters of ISO names, the 103
// of Joliet's and up to the 255 bytes of Rock Ridge's), ASCII or Japanese,
// with or without a dot; at most `room` UTF-16 units (libarchive refuses a
// Joliet path longer than 120 of them).
QString randomName(QRandomGenerator& random, int index, int room)
{
    static const QString japanese = QStringLiteral("日本語のファイル名前写真資料");
    const int kind = random.bounded(6);
    QString name = QString::number(index) + QLatin1Char('_');
    const int length = kind == 0 ? random.bounded(1, 6) : kind == 1 ? random.bounded(20, 40) : kind == 2 ? random.bounded(90, 240) : random.bounded(3, 14);
    for (int i = 0; i < length; ++i) {
        if (kind == 4)
            name += japanese.at(random.bounded(japanese.size()));
        else
            name += QChar(char16_t('a' + random.bounded(26)));
    }
    if (kind == 5 || random.bounded(2) == 0)
        name += QStringLiteral(".dat");
    while (name.toUtf8().size() > 255 || name.size() > room)
        name.chop(1);
    return name;
}

// Fills `folder` with random files and folders, `depth` levels deep at most,
// their paths below the image's root at most `room` UTF-16 units long; sizes
// from 0 to some blocks, now and then one exactly on a block's edge.
void makeRandomTree(QRandomGenerator& random, const QString& folder, int depth, int room, int* counter)
{
    if (room < 10)
        return;
    const int files = random.bounded(0, 25);
    for (int i = 0; i < files; ++i) {
        const int pick = random.bounded(5);
        const qint64 size = pick == 0 ? 0 : pick == 1 ? 2048 * random.bounded(1, 4) : random.bounded(1, 9000);
        QFile file(folder + QLatin1Char('/') + randomName(random, ++*counter, room));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes(int(size), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        QCOMPARE(file.write(bytes), size);
    }
    const int folders = depth > 0 && room >= 24 ? random.bounded(0, 5) : 0;
    for (int i = 0; i < folders; ++i) {
        const QString name = randomName(random, ++*counter, room - 12);
        QVERIFY(QDir().mkdir(folder + QLatin1Char('/') + name));
        makeRandomTree(random, folder + QLatin1Char('/') + name, depth - 1, room - name.size() - 1, counter);
    }
}

// The manifest a package of the scanned tree gets: one line per file, of
// the length the real one has.
bool writeManifest(const DirectoryNodePtr& root, const QString& path)
{
    QByteArray text;
    QVector<std::pair<DirectoryNodePtr, QByteArray>> pending{{root, QByteArray()}};
    while (!pending.isEmpty()) {
        const auto [folder, prefix] = pending.takeLast();
        for (const FileNodePtr& file : folder->files())
            text += ChecksumManifest::formatLine(QByteArray(32, '\0'), prefix + file->nativeFileName().storedBytes());
        for (const DirectoryNodePtr& sub : folder->subdirectories())
            pending.append({sub, prefix + sub->nativeFileName().storedBytes() + '/'});
    }
    return writeFile(path, text);
}

qint64 measured(ImageFormat format, const DirectoryNodePtr& root)
{
    const ImageSpace space(format, true);
    qint64 total = space.fixedPart();
    for (const FileNodePtr& file : root->files())
        total += ImageWeight::share(space, *file);
    for (const DirectoryNodePtr& folder : root->subdirectories())
        total += ImageWeight::share(space, *folder);
    return total;
}

QJsonObject parseJson(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

class ImageSpaceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!ImageFormats::available())
            QSKIP("this build makes no images");
    }

    // Random folders, written as images with their manifest: no image is
    // larger than the measure, and the measure is not a blanket margin.
    void boundHoldsOnRandomFolders_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
            QTest::addRow("iso %u", seed) << int(ImageFormat::Iso) << seed;
            QTest::addRow("zip %u", seed) << int(ImageFormat::Zip) << seed;
        }
    }

    void boundHoldsOnRandomFolders()
    {
        QFETCH(int, format);
        QFETCH(quint32, seed);
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QString folder = temporary.filePath(QStringLiteral("1"));
        QVERIFY(QDir().mkdir(folder));
        QRandomGenerator random(seed);
        int counter = 0;
        makeRandomTree(random, folder, 3, 120, &counter);
        const DirectoryNodePtr root = scanFolder(folder);
        QVERIFY(root);
        const QString manifest = temporary.filePath(QStringLiteral("1.sha256"));
        QVERIFY(writeManifest(root, manifest));

        ImageRequest request;
        request.folder = NativePath::fromText(folder);
        request.target = NativePath::fromText(temporary.filePath(QStringLiteral("1.image")));
        request.format = ImageFormat(format);
        request.volumeId = PackageImage::volumeId(QStringLiteral("x"), 1);
        request.extraFile = NativePath::fromText(manifest);
        qint64 size = 0;
        QString error;
        QVERIFY2(PackageImage::write(request, {}, &size, &error), qPrintable(error));

        const qint64 bound = measured(ImageFormat(format), root);
        qInfo("%d entries: image %lld bytes, measure %lld", counter, size, bound);
        QVERIFY2(size <= bound, qPrintable(QStringLiteral("image %1 > measure %2 (%3 entries)").arg(size).arg(bound).arg(counter)));
        // Close: the slack is a few sectors and some bytes per entry.
        QVERIFY2(bound - size <= 16 * 2048 + 300 * qint64(counter),
                 qPrintable(QStringLiteral("measure %1 far above image %2").arg(bound).arg(size)));
    }

    // The packer with the measure: every image korvo-cli makes fits its
    // order, and packages of 1 MB files fill it to 97% and more. The first
    // row is the reported case: nine files of 995,328 bytes and 300 small
    // ones, for 3,000,000 bytes, gave images 12% too large.
    void imagesFitTheirOrder_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("bigFiles");
        QTest::addColumn<qint64>("bigSize");
        QTest::addColumn<int>("smallFiles");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("filled");
        QTest::newRow("reported iso") << "iso" << 9 << qint64(995328) << 300 << qint64(3000000) << false;
        QTest::newRow("1 MB files iso") << "iso" << 100 << qint64(1000000) << 40 << qint64(40500000) << true;
        QTest::newRow("1 MB files zip") << "zip" << 60 << qint64(1000000) << 40 << qint64(30500000) << true;
    }

    void imagesFitTheirOrder()
    {
        QFETCH(QString, format);
        QFETCH(int, bigFiles);
        QFETCH(qint64, bigSize);
        QFETCH(int, smallFiles);
        QFETCH(qint64, limit);
        QFETCH(bool, filled);
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QString folder = temporary.filePath(QStringLiteral("source"));
        QVERIFY(QDir().mkdir(folder));
        QRandomGenerator random(7);
        // Random bytes, which deflate cannot shrink: the ZIP's worst case.
        QByteArray content(int(bigSize), Qt::Uninitialized);
        for (int i = 0; i < bigFiles; ++i) {
            for (char& byte : content)
                byte = char(random.bounded(256));
            QVERIFY(writeFile(folder + QStringLiteral("/big%1.bin").arg(i, 3, 10, QLatin1Char('0')), content));
        }
        for (int i = 0; i < smallFiles; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/small%1.txt").arg(i), QByteArray(random.bounded(1, 3000), 's')));

        const CliRun run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QString::number(limit),
                                   QStringLiteral("--image"), format, QStringLiteral("--checksums"),
                                   QStringLiteral("--volume-root"), temporary.path(), QStringLiteral("--json"), folder});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        const QJsonObject outcome = parseJson(run.out);
        QCOMPARE(outcome.value(QStringLiteral("image")).toString(), format);
        const QJsonArray packages = outcome.value(QStringLiteral("packages")).toArray();
        QVERIFY(packages.size() >= 2);
        for (int i = 0; i < packages.size(); ++i) {
            const QJsonObject package = packages.at(i).toObject();
            const QString image = package.value(QStringLiteral("image")).toString();
            const qint64 size = QFileInfo(image).size();
            QVERIFY2(size > 0 && size <= limit, qPrintable(QStringLiteral("%1: %2 bytes").arg(image).arg(size)));
            QVERIFY(!package.value(QStringLiteral("imageTooLarge")).toBool());
            if (filled && i + 1 < packages.size())
                QVERIFY2(size >= limit * 97 / 100, qPrintable(QStringLiteral("%1: %2 bytes").arg(image).arg(size)));
        }
    }

    // An item whose image alone would exceed the order is left out, and
    // said so; without an image it fits by its size on disk.
    void leftOutByItsImage()
    {
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QString folder = temporary.filePath(QStringLiteral("source"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(writeFile(folder + QStringLiteral("/whole.bin"), QByteArray(200000, 'w')));
        const QStringList common{QStringLiteral("--limit"), QStringLiteral("204800"), QStringLiteral("--json"), folder};
        const QJsonObject plain = parseJson(runCli(QStringList{QStringLiteral("pack")} + common).out);
        QCOMPARE(plain.value(QStringLiteral("packages")).toArray().size(), 1);
        QCOMPARE(plain.value(QStringLiteral("excluded")).toArray().size(), 0);
        const QJsonObject iso = parseJson(
            runCli(QStringList{QStringLiteral("pack"), QStringLiteral("--image"), QStringLiteral("iso")} + common).out);
        QCOMPARE(iso.value(QStringLiteral("packages")).toArray().size(), 0);
        QCOMPARE(iso.value(QStringLiteral("excluded")).toArray(), QJsonArray{QStringLiteral("whole.bin")});
    }
};

QTEST_GUILESS_MAIN(ImageSpaceTest)
#include "tst_imagespace.moc"
