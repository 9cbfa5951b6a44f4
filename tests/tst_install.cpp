// What `cmake --install` and `cpack -G DEB` make of the build: the files in
// their places, the desktop entry and AppStream metadata as the validators
// see them, man pages that render cleanly and carry the programs' help, the
// shell completion, and the Debian package's contents and dependencies.

#include "ImageFormat.h"

#include <QtTest>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments, const QString& folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

const QString BuildFolder = QStringLiteral(KORVO_BUILD_FOLDER);
const QString Version = QStringLiteral(KORVO_VERSION_TEXT);

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString prefix;

    QString installed(const QString& path) const { return prefix + QLatin1Char('/') + path; }

    QStringList commands() const
    {
        const Run help = run(installed(QStringLiteral("bin/korvo-cli")), {QStringLiteral("--help")});
        QStringList names;
        const QRegularExpression line(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
        for (auto match = line.globalMatch(help.out); match.hasNext();)
            names << match.next().captured(1);
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        prefix = temp.filePath(QStringLiteral("prefix"));
        const Run install = run(QStringLiteral(KORVO_CMAKE), {QStringLiteral("--install"), BuildFolder,
                                                               QStringLiteral("--prefix"), prefix});
        QVERIFY2(install.exitCode == 0, qPrintable(install.err));
    }

    void installTree_data()
    {
        QTest::addColumn<QString>("path");
        for (const char* path : {"bin/korvo", "bin/korvo-cli", "share/applications/korvo.desktop",
                                 "share/metainfo/io.korvo.korvo.metainfo.xml", "share/man/man1/korvo.1",
                                 "share/man/man1/korvo-cli.1", "share/bash-completion/completions/korvo-cli",
                                 "share/zsh/vendor-completions/_korvo-cli",
                                 "share/fish/vendor_completions.d/korvo-cli.fish"})
            QTest::newRow(path) << QString::fromLatin1(path);
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QStringLiteral("icon %1").arg(size)))
                << QStringLiteral("share/icons/hicolor/%1x%1/apps/korvo.png").arg(size);
    }

    // Every file in its place; an icon has its size in pixels.
    void installTree()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(installed(path)).isFile(), qPrintable(path));
        if (path.endsWith(QLatin1String(".png"))) {
            const int size = path.section(QLatin1Char('/'), 3, 3).section(QLatin1Char('x'), 0, 0).toInt();
            QCOMPARE(QImage(installed(path)).size(), QSize(size, size));
        }
    }

    void installedProgramsRun()
    {
        for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-V")}) {
            const Run version = run(installed(QStringLiteral("bin/korvo-cli")), {option});
            QCOMPARE(version.exitCode, 0);
            QCOMPARE(version.out, QStringLiteral("korvo-cli %1\n").arg(Version));
        }
        QVERIFY(run(installed(QStringLiteral("bin/korvo-cli")), {QStringLiteral("--help")})
                    .out.contains(QStringLiteral("--version")));
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/korvo"))).isExecutable());
    }

    void validatorsAccept_data()
    {
        QTest::addColumn<QString>("validator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("package");
        QTest::newRow("desktop entry") << QStringLiteral("desktop-file-validate")
                                       << QStringList{installed(QStringLiteral("share/applications/korvo.desktop"))}
                                       << QStringLiteral("desktop-file-utils");
        QTest::newRow("AppStream metadata")
            << QStringLiteral("appstreamcli")
            << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
                           installed(QStringLiteral("share/metainfo/io.korvo.korvo.metainfo.xml"))}
            << QStringLiteral("appstream");
    }

    // The validators pass the files without a single remark.
    void validatorsAccept()
    {
        QFETCH(QString, validator);
        QFETCH(QStringList, arguments);
        QFETCH(QString, package);
        if (QStandardPaths::findExecutable(validator).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (Debian package %2; scripts/setup installs it)")
                                 .arg(validator, package)));
        const Run check = run(validator, arguments);
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
        QVERIFY2(!check.out.contains(QLatin1String("W:")) && !check.out.contains(QLatin1String("P:"))
                     && !check.out.contains(QLatin1String("I:")),
                 qPrintable(check.out));
        if (validator == QLatin1String("desktop-file-validate"))
            QCOMPARE(check.out + check.err, QString());
    }

    // The man pages render without a warning, and korvo-cli's carries the
    // program's help, the general one and each command's, word for word.
    void manPages()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("groff")).isEmpty())
            QSKIP("groff is not installed (Debian package groff-base)");
        for (const QString& page : {QStringLiteral("korvo.1"), QStringLiteral("korvo-cli.1")}) {
            const Run render = run(QStringLiteral("groff"), {QStringLiteral("-man"), QStringLiteral("-ww"),
                                                             QStringLiteral("-z"), QStringLiteral("-Kutf8"),
                                                             installed(QStringLiteral("share/man/man1/") + page)});
            QCOMPARE(render.exitCode, 0);
            QCOMPARE(render.err, QString());
        }
        const Run text = run(QStringLiteral("groff"),
                             {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-Kutf8"),
                              QStringLiteral("-P-cbou"), installed(QStringLiteral("share/man/man1/korvo-cli.1"))});
        const QStringList names = commands();
        QVERIFY(names.contains(QStringLiteral("scan")) && names.contains(QStringLiteral("move")));
        QList<QStringList> helps{{QStringLiteral("--help")}};
        for (const QString& name : names)
            helps << QStringList{name, QStringLiteral("--help")};
        for (const QStringList& arguments : helps) {
            const Run help = run(installed(QStringLiteral("bin/korvo-cli")), arguments);
            for (const QString& line : help.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                QVERIFY2(text.out.contains(line.trimmed()), qPrintable(arguments.join(QLatin1Char(' ')) + ": " + line));
        }
    }

    void bashCompletion_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("expected");
        QTest::newRow("command") << QStringList{QStringLiteral("pa")} << QStringLiteral("pack");
        QTest::newRow("option of the command") << QStringList{QStringLiteral("pack"), QStringLiteral("--li")}
                                               << QStringLiteral("--limit");
        QTest::newRow("version") << QStringList{QStringLiteral("--vers")} << QStringLiteral("--version");
    }

    // The bash completion offers the commands and each command's options,
    // read from the installed program's help.
    void bashCompletion()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, expected);
        if (QStandardPaths::findExecutable(QStringLiteral("bash")).isEmpty())
            QSKIP("bash is not installed");
        const QString script = QStringLiteral(
            "source \"$1\"; COMP_WORDS=(\"$2\" ${@:3}); COMP_CWORD=$(($# - 2)); _korvo_cli; echo \"${COMPREPLY[*]}\"");
        const Run complete = run(QStringLiteral("bash"),
                                 QStringList{QStringLiteral("-c"), script, QStringLiteral("bash"),
                                             installed(QStringLiteral("share/bash-completion/completions/korvo-cli")),
                                             installed(QStringLiteral("bin/korvo-cli"))}
                                     + words);
        QCOMPARE(complete.exitCode, 0);
        QCOMPARE(complete.out.trimmed(), expected);
    }

    // cpack -G DEB: the package holds the installed files under /usr, its
    // dependencies come from the programs' libraries, and it recommends a
    // Japanese font.
    void debianPackage()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
            QSKIP("dpkg-deb or dpkg-shlibdeps is missing (Debian packages dpkg and dpkg-dev)");
        const QString out = temp.filePath(QStringLiteral("deb"));
        const Run pack = run(QStringLiteral(KORVO_CPACK), {QStringLiteral("-G"), QStringLiteral("DEB"),
                                                           QStringLiteral("-B"), out},
                             BuildFolder);
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.out + pack.err));
        const QStringList debs = QDir(out).entryList({QStringLiteral("korvo_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        QVERIFY(debs.first().startsWith(QStringLiteral("korvo_%1").arg(Version)));
        const QString deb = out + QLatin1Char('/') + debs.first();
        const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
        for (const char* path : {"./usr/bin/korvo", "./usr/bin/korvo-cli", "./usr/share/applications/korvo.desktop",
                                 "./usr/share/man/man1/korvo-cli.1", "./usr/share/icons/hicolor/48x48/apps/korvo.png",
                                 "./usr/share/bash-completion/completions/korvo-cli"})
            QVERIFY2(contents.out.contains(QLatin1String(path)), path);
        const Run depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, QStringLiteral("Depends")});
        // qttranslations5-l10n: Qt's standard buttons in Japanese.
        for (const char* library : {"libc6", "libqt5core5a", "libqt5widgets5", "libstdc++6", "qttranslations5-l10n"})
            QVERIFY2(depends.out.contains(QLatin1String(library)), qPrintable(depends.out));
        // Images come from libarchive, where the build has them.
        QCOMPARE(depends.out.contains(QLatin1String("libarchive13")), korvo::ImageFormats::available());
        // The window needs a font with Japanese glyphs, which a minimal system lacks.
        const Run recommends =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, QStringLiteral("Recommends")});
        QVERIFY2(recommends.out.contains(QLatin1String("fonts-noto-cjk")), qPrintable(recommends.out));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
