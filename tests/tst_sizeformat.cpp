#include "SizeFormat.h"

#include <QtTest>

using namespace korvo;

class SizeFormatTest : public QObject
{
    Q_OBJECT
private slots:
    void formatSize_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0.00 B (0 バイト)");
        QTest::newRow("1023") << qint64(1023) << QStringLiteral("1,023.00 B (1,023 バイト)");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.00 KiB (1,024 バイト)");
        QTest::newRow("1536") << qint64(1536) << QStringLiteral("1.50 KiB (1,536 バイト)");
        QTest::newRow("1048575") << qint64(1048575) << QStringLiteral("1,024.00 KiB (1,048,575 バイト)");
        QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("1.00 MiB (1,048,576 バイト)");
        QTest::newRow("5e9") << qint64(5000000000) << QStringLiteral("4.66 GiB (5,000,000,000 バイト)");
        QTest::newRow("exbi") << (qint64(1) << 60) << QStringLiteral("1.00 EiB (1,152,921,504,606,846,976 バイト)");
        QTest::newRow("max") << std::numeric_limits<qint64>::max()
                             << QStringLiteral("8.00 EiB (9,223,372,036,854,775,807 バイト)");
        // Never a size, but no stray comma after the sign either.
        QTest::newRow("-123") << qint64(-123) << QStringLiteral("-123.00 B (-123 バイト)");
        QTest::newRow("-1234") << qint64(-1234) << QStringLiteral("-1,234.00 B (-1,234 バイト)");
    }
    void formatSize()
    {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(korvo::formatSize(value), text);
    }

    void units()
    {
        QCOMPARE(unitFor(0), Byte);
        QCOMPARE(unitFor(1023), Byte);
        QCOMPARE(unitFor(1024), KibiByte);
        QCOMPARE(unitFor(GibiByte - 1), MebiByte);
        QCOMPARE(unitFor(ExbiByte), ExbiByte);
        QCOMPARE(unitName(TebiByte), QStringLiteral("TiB"));
        QCOMPARE(unitName(PebiByte), QStringLiteral("PiB"));
        QCOMPARE(unitName(3), QString());
    }
};

QTEST_GUILESS_MAIN(SizeFormatTest)
#include "tst_sizeformat.moc"
