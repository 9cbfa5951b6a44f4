// Built for Windows only: the resources of the built programs, read back
// through Windows' own resource and version calls.

#include <QtTest>

#include <windows.h>

namespace {

// One program's resources, loaded as data, not run.
class Resources
{
public:
    explicit Resources(const QString& program)
        : module_(LoadLibraryExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(program).utf16()), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~Resources()
    {
        if (module_)
            FreeLibrary(module_);
    }
    bool isLoaded() const { return module_ != nullptr; }

    QByteArray bytes(const wchar_t* type, int id) const
    {
        const HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        const HGLOBAL loaded = found ? LoadResource(module_, found) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        return data ? QByteArray(static_cast<const char*>(data), int(SizeofResource(module_, found))) : QByteArray();
    }

private:
    HMODULE module_;
};

QString versionString(const QByteArray& info, const QString& key)
{
    void* value = nullptr;
    UINT length = 0;
    const QString path = QStringLiteral("\\StringFileInfo\\041104B0\\") + key;
    if (!VerQueryValueW(info.constData(), reinterpret_cast<const wchar_t*>(path.utf16()), &value, &length) || !length)
        return QString();
    return QString::fromWCharArray(static_cast<const wchar_t*>(value)).left(int(length) - 1);
}

} // namespace

// korvo.exe and korvo-cli.exe carry the icon (every size Windows shows, up
// to 256 pixels), the version information of the project's version and a
// manifest that declares long paths, per-monitor DPI awareness and the
// common controls 6.
class WindowsResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void programsCarryTheirResources_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("korvo") << QStringLiteral("korvo");
        QTest::newRow("korvo-cli") << QStringLiteral("korvo-cli");
    }

    void programsCarryTheirResources()
    {
        QFETCH(QString, name);
        const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name + QStringLiteral(".exe");
        Resources resources(program);
        QVERIFY2(resources.isLoaded(), qPrintable(program));

        const QByteArray manifest = resources.bytes(MAKEINTRESOURCEW(24), 1);
        QVERIFY2(manifest.contains("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>"),
                 manifest.constData());
        QVERIFY(manifest.contains(">PerMonitor</dpiAwareness>") && manifest.contains(">true/pm</dpiAware>"));
        QVERIFY(manifest.contains("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));

        // The icon group: its entries' widths (0 stands for 256).
        const QByteArray group = resources.bytes(MAKEINTRESOURCEW(14), 1);
        QVERIFY(group.size() >= 6);
        const int count = uchar(group.at(4)) | uchar(group.at(5)) << 8;
        QSet<int> widths;
        for (int i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i)
            widths.insert(uchar(group.at(6 + 14 * i)) ? uchar(group.at(6 + 14 * i)) : 256);
        QVERIFY2(widths.contains(16) && widths.contains(32) && widths.contains(48) && widths.contains(256),
                 qPrintable(QString::number(count)));

        const std::wstring path = QDir::toNativeSeparators(program).toStdWString();
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
        QVERIFY(size > 0);
        QByteArray info(int(size), '\0');
        QVERIFY(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
        QCOMPARE(versionString(info, QStringLiteral("FileVersion")), QStringLiteral(KORVO_VERSION));
        QCOMPARE(versionString(info, QStringLiteral("ProductVersion")), QStringLiteral(KORVO_VERSION));
        QCOMPARE(versionString(info, QStringLiteral("OriginalFilename")), name + QStringLiteral(".exe"));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        QVERIFY(VerQueryValueW(info.constData(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed);
        const QStringList parts = QStringLiteral(KORVO_VERSION).split(QLatin1Char('.'));
        QCOMPARE(int(HIWORD(fixed->dwFileVersionMS)), parts.value(0).toInt());
        QCOMPARE(int(LOWORD(fixed->dwFileVersionMS)), parts.value(1).toInt());
        QCOMPARE(int(HIWORD(fixed->dwFileVersionLS)), parts.value(2).toInt());
    }
};

QTEST_GUILESS_MAIN(WindowsResourcesTest)
#include "tst_windowsresources.moc"
