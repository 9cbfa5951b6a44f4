#pragma once

#include <QString>
#include <QVector>

namespace korvo::exporting {

// The text with every character that XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, U+FFFE, U+FFFF
// and unpaired surrogates) replaced by U+FFFD. Returns the text itself,
// without copying, when there is nothing to replace.
QString xmlSafe(const QString& text);

// Writes XML into a text buffer exactly as QXmlStreamWriter formats the
// subset the export uses (elements, attributes, text elements, a comment;
// with auto-formatting an indent per level, or none at all), at a fraction
// of its cost: values are cleaned (as xmlSafe does) and escaped straight
// into the buffer, without a temporary string per value. An element without content
// becomes an empty-element tag; a text element keeps its start and end tags
// even when the text is empty.
class XmlTextWriter
{
public:
    // `indent` blanks per level when greater than 0; otherwise no line
    // breaks and no indentation.
    XmlTextWriter(QString& out, int indent);

    void writeStartDocument();
    void writeComment(const QString& text);
    void writeStartElement(const QString& name);
    void writeAttribute(const QString& name, const QString& value);
    void writeTextElement(const QString& name, const QString& text);
    void writeEndElement();
    void writeEndDocument();

private:
    void finishStartTag();
    void newLine(int level);
    void writeEscaped(const QString& text, bool inAttribute);

    QString& out_;
    const bool formatting_;
    const QString indent_;
    QVector<QString> open_;
    bool inStartTag_ = false;
};

} // namespace korvo::exporting
