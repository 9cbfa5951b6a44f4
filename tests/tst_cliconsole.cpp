#include "Command.h"
#include "Console.h"

#include <QtTest>

using namespace korvo;
using namespace korvo::cli;

namespace {

// A stand-in for a console window (takes text) or a redirected stream
// (takes bytes) that keeps what it was given, write by write.
class RecordingDevice : public ConsoleDevice
{
public:
    explicit RecordingDevice(bool text) : text_(text) {}
    bool takesText() const override { return text_; }
    void writeText(const QString& text) override { texts << text; }
    void writeBytes(const QByteArray& bytes) override { this->bytes += bytes; }
    void flush() override { ++flushes; }

    QStringList texts;
    QByteArray bytes;
    int flushes = 0;

private:
    bool text_;
};

// Puts a device in err()'s place for one test.
struct ErrDevice
{
    explicit ErrDevice(ConsoleDevice* device) { err().setDevice(device); }
    ~ErrDevice() { err().setDevice(nullptr); }
};

const QString japanese = QStringLiteral("パッケージ1を移動しました。写真/夏 2024.jpg 😀 café");

} // namespace

// What korvo-cli says reaches a console window as the very text (its wide
// API shows it whatever the code page, which UTF-8 bytes would garble), and
// a redirected stream as UTF-8 bytes; usage errors, failures and progress
// lines take the same way.
class CliConsoleTest : public QObject
{
    Q_OBJECT

private slots:
    void consoleGetsTextRedirectedGetsUtf8_data()
    {
        QTest::addColumn<bool>("console");
        QTest::newRow("console window") << true;
        QTest::newRow("redirected") << false;
    }

    void consoleGetsTextRedirectedGetsUtf8()
    {
        QFETCH(bool, console);
        RecordingDevice device(console);
        ConsoleStream stream(stdout);
        stream.setDevice(&device);
        stream << japanese << '\n' << 42 << " " << "名前";
        stream.bytes(japanese.toUtf8());
        stream.flush();
        const QString expected = japanese + QStringLiteral("\n42 名前") + japanese;
        if (console) {
            QCOMPARE(device.texts.join(QString()), expected);
            QVERIFY(device.bytes.isEmpty());
        } else {
            QCOMPARE(device.bytes, expected.toUtf8());
            QVERIFY(device.texts.isEmpty());
        }
        QCOMPARE(device.flushes, 1);
    }

    // A listing printed in blocks may cut a character in two: the console
    // still gets whole characters, never a replacement sign.
    void blocksCutInsideACharacter()
    {
        RecordingDevice device(true);
        ConsoleStream stream(stdout);
        stream.setDevice(&device);
        const QByteArray utf8 = japanese.toUtf8();
        for (int i = 0; i < utf8.size(); i += 4)
            stream.bytes(utf8.mid(i, 4));
        QCOMPARE(device.texts.join(QString()), japanese);
        QVERIFY(!device.texts.join(QString()).contains(QChar::ReplacementCharacter));
    }

    void messagesAndProgressLines_data()
    {
        QTest::addColumn<bool>("console");
        QTest::newRow("console window") << true;
        QTest::newRow("redirected") << false;
    }

    void messagesAndProgressLines()
    {
        QFETCH(bool, console);
        RecordingDevice device(console);
        ErrDevice swap(&device);
        QCOMPARE(failure(QStringLiteral("move"), japanese), int(Failure));
        QCOMPARE(usageError(QStringLiteral("image"), QStringLiteral("形式が違います")), int(UsageError));
        printProgressLine(QStringLiteral("ハッシュ 50%"));
        printProgressLine(QStringLiteral("ハッシュ 100%"));
        endProgressLine();
        const QString expected = QStringLiteral("korvo-cli move: ") + japanese + QStringLiteral("\n") +
                                 QStringLiteral("korvo-cli image: 形式が違います\nTry 'korvo-cli image --help'.\n") +
                                 QStringLiteral("\r\033[Kハッシュ 50%\r\033[Kハッシュ 100%\n");
        QCOMPARE(console ? device.texts.join(QString()) : QString::fromUtf8(device.bytes), expected);
    }
};

QTEST_GUILESS_MAIN(CliConsoleTest)
#include "tst_cliconsole.moc"
