#include "SizeArgument.h"

#include <limits>

namespace korvo::cli {

const char* const SizeForms = "bytes such as 700000000, or 700M, 4.7G, 25GB (decimal), 700MiB, 4GiB (binary)";

namespace {

const qint64 Largest = std::numeric_limits<qint64>::max();

struct Unit
{
    int power = -1; // of 1000 or 1024; -1 when the unit is none of the accepted ones
    bool binary = false;
};

Unit readUnit(const QString& unit)
{
    if (unit.isEmpty())
        return Unit{0, false};
    const int power = QStringLiteral("KMGT").indexOf(unit.at(0).toUpper()) + 1;
    const QString rest = unit.mid(1).toLower();
    if (power == 0 || !(rest.isEmpty() || rest == QLatin1String("b") || rest == QLatin1String("ib")))
        return Unit{};
    return Unit{power, rest == QLatin1String("ib")};
}

bool isAsciiDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Decimal units shift the point: "4.7" and G (10^9) give the digits "4700000000".
bool decimalBytes(const QString& whole, const QString& fraction, int power, qint64& bytes)
{
    const int places = 3 * power;
    const QString digits = whole + fraction.left(places).leftJustified(places, QLatin1Char('0'));
    bool ok = false;
    bytes = digits.toLongLong(&ok);
    return ok;
}

// Binary units: the whole part times 1024^power, plus the fraction's share,
// floor(fraction * 2^(10 * power) / 10^digits), computed exactly with the
// fraction's digits cut to what keeps the product within 64 bits (far
// below a byte's worth for any fraction a person types).
bool binaryBytes(const QString& whole, QString fraction, int power, qint64& bytes)
{
    const int shift = 10 * power;
    bool ok = false;
    const qint64 integral = whole.toLongLong(&ok);
    if (!ok || integral > (Largest >> shift))
        return false;
    bytes = integral << shift;
    fraction = fraction.left(63 - shift > 0 ? (63 - shift) * 3 / 10 : 0);
    qint64 numerator = fraction.isEmpty() ? 0 : fraction.toLongLong();
    qint64 denominator = 1;
    for (int i = 0; i < fraction.size(); ++i)
        denominator *= 10;
    const qint64 extra = (numerator << shift) / denominator;
    if (bytes > Largest - extra)
        return false;
    bytes += extra;
    return true;
}

} // namespace

bool parseSize(const QString& text, qint64& bytes)
{
    int end = 0;
    while (end < text.size() && text.at(end) != QLatin1Char('.') && !text.at(end).isLetter())
        ++end;
    const QString whole = text.left(end);
    QString fraction;
    if (end < text.size() && text.at(end) == QLatin1Char('.')) {
        int stop = ++end;
        while (stop < text.size() && !text.at(stop).isLetter())
            ++stop;
        fraction = text.mid(end, stop - end);
        if (fraction.isEmpty())
            return false;
        end = stop;
    }
    const Unit unit = readUnit(text.mid(end));
    if (whole.isEmpty() || !isAsciiDigits(whole) || !isAsciiDigits(fraction) || unit.power < 0)
        return false;
    if (unit.power == 0) {
        // Plain bytes are whole.
        bool ok = false;
        bytes = whole.toLongLong(&ok);
        return ok && fraction.isEmpty();
    }
    return unit.binary ? binaryBytes(whole, fraction, unit.power, bytes)
                       : decimalBytes(whole, fraction, unit.power, bytes);
}

} // namespace korvo::cli
