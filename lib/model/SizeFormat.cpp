#include "SizeFormat.h"

namespace korvo {

namespace {

// Inserts "," every three digits to the left of `end`, never right after a
// minus sign.
void groupDigits(QString& text, int end)
{
    const int first = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (int position = end - 3; position > first; position -= 3)
        text.insert(position, QLatin1Char(','));
}

} // namespace

qint64 unitFor(qint64 value)
{
    for (qint64 unit : {ExbiByte, PebiByte, TebiByte, GibiByte, MebiByte, KibiByte}) {
        if (value >= unit)
            return unit;
    }
    return Byte;
}

QString unitName(qint64 unit)
{
    switch (unit) {
    case Byte: return QStringLiteral("B");
    case KibiByte: return QStringLiteral("KiB");
    case MebiByte: return QStringLiteral("MiB");
    case GibiByte: return QStringLiteral("GiB");
    case TebiByte: return QStringLiteral("TiB");
    case PebiByte: return QStringLiteral("PiB");
    case ExbiByte: return QStringLiteral("EiB");
    default: return QString();
    }
}

QString formatSize(qint64 value)
{
    const qint64 unit = unitFor(value);
    QString figure = QString::number(double(value) / double(unit), 'f', 2);
    groupDigits(figure, figure.indexOf(QLatin1Char('.')));
    QString exact = QString::number(value);
    groupDigits(exact, exact.size());
    return figure + QStringLiteral(" %1").arg(unitName(unit)) + QStringLiteral(" (%1 バイト)").arg(exact);
}

} // namespace korvo
