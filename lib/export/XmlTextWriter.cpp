#include "XmlTextWriter.h"

namespace korvo::exporting {

namespace {

bool isHighSurrogate(ushort c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(ushort c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool isPlainAllowed(ushort c)
{
    // Everything but the surrogates, which are judged in pairs.
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    return c < 0xD800 || (c > 0xDFFF && c < 0xFFFE);
}

} // namespace

QString xmlSafe(const QString& text)
{
    const ushort* data = text.utf16();
    const int size = text.size();
    int i = 0;
    // Find the first character that needs replacing; most names have none.
    for (; i < size; ++i) {
        const ushort c = data[i];
        if (isPlainAllowed(c))
            continue;
        if (isHighSurrogate(c) && i + 1 < size && isLowSurrogate(data[i + 1])) {
            ++i;
            continue;
        }
        break;
    }
    if (i == size)
        return text;

    QString safe = text;
    QChar* out = safe.data();
    for (; i < size; ++i) {
        const ushort c = data[i];
        if (isPlainAllowed(c))
            continue;
        if (isHighSurrogate(c) && i + 1 < size && isLowSurrogate(data[i + 1])) {
            ++i;
            continue;
        }
        out[i] = QChar(QChar::ReplacementCharacter);
    }
    return safe;
}

XmlTextWriter::XmlTextWriter(QString& out, int indent)
    : out_(out), formatting_(indent > 0), indent_(indent > 0 ? QString(indent, QLatin1Char(' ')) : QString())
{
}

void XmlTextWriter::newLine(int level)
{
    if (!formatting_)
        return;
    out_ += QLatin1Char('\n');
    for (int i = 0; i < level; ++i)
        out_ += indent_;
}

void XmlTextWriter::finishStartTag()
{
    if (inStartTag_) {
        out_ += QLatin1Char('>');
        inStartTag_ = false;
    }
}

void XmlTextWriter::writeStartDocument()
{
    out_ += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

void XmlTextWriter::writeComment(const QString& text)
{
    finishStartTag();
    newLine(open_.size());
    out_ += QLatin1String("<!--");
    out_ += text;
    out_ += QLatin1String("-->");
}

void XmlTextWriter::writeStartElement(const QString& name)
{
    finishStartTag();
    newLine(open_.size());
    out_ += QLatin1Char('<');
    out_ += name;
    open_.append(name);
    inStartTag_ = true;
}

void XmlTextWriter::writeAttribute(const QString& name, const QString& value)
{
    out_ += QLatin1Char(' ');
    out_ += name;
    out_ += QLatin1String("=\"");
    writeEscaped(value, true);
    out_ += QLatin1Char('"');
}

void XmlTextWriter::writeTextElement(const QString& name, const QString& text)
{
    finishStartTag();
    newLine(open_.size());
    out_ += QLatin1Char('<');
    out_ += name;
    out_ += QLatin1Char('>');
    writeEscaped(text, false);
    out_ += QLatin1String("</");
    out_ += name;
    out_ += QLatin1Char('>');
}

void XmlTextWriter::writeEndElement()
{
    if (open_.isEmpty())
        return;
    if (inStartTag_) {
        out_ += QLatin1String("/>");
        inStartTag_ = false;
    } else {
        // Only elements with child elements or comments get here.
        newLine(open_.size() - 1);
        out_ += QLatin1String("</");
        out_ += open_.last();
        out_ += QLatin1Char('>');
    }
    open_.removeLast();
}

void XmlTextWriter::writeEndDocument()
{
    while (!open_.isEmpty())
        writeEndElement();
    out_ += QLatin1Char('\n');
}

void XmlTextWriter::writeEscaped(const QString& text, bool inAttribute)
{
    // One pass that both cleans (as xmlSafe) and escapes, copying runs of
    // plain characters at once.
    const QChar* data = text.constData();
    const int size = text.size();
    int plainFrom = 0;
    for (int i = 0; i < size; ++i) {
        const ushort c = data[i].unicode();
        if (c > '>' && c < 0xD800)
            continue; // the common case
        QLatin1String escape;
        if (c >= 0xD800) {
            if (isHighSurrogate(c) && i + 1 < size && isLowSurrogate(data[i + 1].unicode())) {
                ++i;
                continue;
            }
            if (isPlainAllowed(c))
                continue;
        } else {
            switch (c) {
            case '<': escape = QLatin1String("&lt;"); break;
            case '>': escape = QLatin1String("&gt;"); break;
            case '&': escape = QLatin1String("&amp;"); break;
            case '"': escape = QLatin1String("&quot;"); break;
            case '\t':
                if (!inAttribute)
                    continue;
                escape = QLatin1String("&#9;");
                break;
            case '\n':
                if (!inAttribute)
                    continue;
                escape = QLatin1String("&#10;");
                break;
            case '\r':
                if (!inAttribute)
                    continue;
                escape = QLatin1String("&#13;");
                break;
            default:
                if (isPlainAllowed(c))
                    continue;
                break;
            }
        }
        out_.append(data + plainFrom, i - plainFrom);
        if (escape.size() > 0)
            out_ += escape;
        else
            out_ += QChar(QChar::ReplacementCharacter);
        plainFrom = i + 1;
    }
    out_.append(data + plainFrom, size - plainFrom);
}

} // namespace korvo::exporting
