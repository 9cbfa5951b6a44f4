#pragma once

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QList>
#include <QScopedPointer>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

#include <climits>
#include <cmath>

namespace korvo {

// The dialogs' fixed geometry suits the Windows UI font. Where the platform's
// font is wider, a widget whose text would be cut grows to the right, up to
// the x coordinate `right` of its parent, so that the free room beside it
// shows the whole text. Widgets whose text fits keep their geometry.
inline void widenToText(QWidget* widget, int right)
{
    const int needed = widget->sizeHint().width();
    if (needed > widget->width())
        widget->resize(qMax(widget->width(), qMin(needed, right - widget->x())), widget->height());
}

// A widget lower than its text (a label, a check box) grows around its
// middle, where its text is drawn.
inline void growToTextHeight(QWidget* widget)
{
    const int lacking = widget->sizeHint().height() - widget->height();
    if (lacking > 0)
        widget->setGeometry(widget->x(), widget->y() - lacking / 2, widget->width(), widget->height() + lacking);
}

// Labels to the left of a column of fields: when a label's text is wider
// than the room before the fields, the fields start further right by what is
// missing, keeping their right edges and the gap the form has between the
// labels and the fields, and the labels take the room. A label lower than
// its text grows around its middle (growToTextHeight).
inline void fitLabelColumn(const QList<QWidget*>& labels, const QList<QWidget*>& fields)
{
    for (QWidget* label : labels)
        growToTextHeight(label);
    int labelsRight = 0;
    int needed = 0;
    for (const QWidget* label : labels) {
        labelsRight = qMax(labelsRight, label->x() + label->width());
        needed = qMax(needed, label->x() + label->sizeHint().width());
    }
    const int shift = needed - labelsRight;
    if (labels.isEmpty() || fields.isEmpty() || shift <= 0)
        return;
    for (QWidget* label : labels)
        label->resize(labelsRight + shift - label->x(), label->height());
    for (QWidget* field : fields)
        field->setGeometry(field->x() + shift, field->y(), field->width() - shift, field->height());
}

// Makes `widget` `extra` pixels taller: the widgets below it in its parent
// move down by as much, and its parent grows the same way, up to the window,
// whose fixed height grows with it.
inline void growHeight(QWidget* widget, int extra)
{
    if (extra <= 0)
        return;
    if (widget->isWindow()) {
        if (widget->minimumHeight() == widget->maximumHeight())
            widget->setFixedHeight(widget->height() + extra);
        else
            widget->resize(widget->width(), widget->height() + extra);
        return;
    }
    QWidget* parent = widget->parentWidget();
    const int bottom = widget->y() + widget->height();
    for (QObject* object : parent->children()) {
        auto* sibling = qobject_cast<QWidget*>(object);
        if (sibling && sibling != widget && !sibling->isWindow() && sibling->y() >= bottom)
            sibling->move(sibling->x(), sibling->y() + extra);
    }
    widget->resize(widget->width(), widget->height() + extra);
    growHeight(parent, extra);
}

// How many pixels a text browser lacks to show its whole document without
// a scroll bar; 0 when it shows it already.
inline int missingHeight(const QTextBrowser* browser)
{
    const int frame = 2 * browser->frameWidth();
    QScopedPointer<QTextDocument> document(browser->document()->clone());
    document->documentLayout()->setPaintDevice(browser->viewport());
    document->setTextWidth(browser->width() - frame);
    return qMax(0, int(std::ceil(document->size().height())) + frame - browser->height());
}

// Makes a text browser, and what holds it, taller by what it lacks to show
// its whole document, by `limit` pixels at most.
inline void growToDocument(QTextBrowser* browser, int limit = INT_MAX)
{
    growHeight(browser, qMin(missingHeight(browser), limit));
}

// The room an item view gives the text of a cell `width` pixels wide: the
// style keeps a margin of the focus frame plus one pixel on either side.
inline int itemTextRoom(const QWidget* view, int width)
{
    const QStyle* style = view ? view->style() : QApplication::style();
    return width - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
}

// A text in `room` pixels: whole when it fits. Otherwise a size text such as
// "667.20 MiB (699,613,104 バイト)" first drops its byte count in
// parentheses, so that the size stays readable, and what is still too wide
// is cut with an ellipsis.
inline QString fittedText(const QString& text, const QFontMetrics& metrics, int room)
{
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    const int open = text.indexOf(QLatin1String(" ("));
    const QString head = open > 0 && text.endsWith(QLatin1Char(')')) ? text.left(open) : text;
    return metrics.elidedText(head, Qt::ElideRight, room);
}

// Draws the cells of a column with fittedText(); the item keeps its whole
// text, shown as the cell's tooltip when it is drawn cut. The tooltip is
// worked out when the pointer rests on a cell: measuring every row of a long
// list whenever a column changes width kept the window from answering.
class FittedTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        if (item.fontMetrics.horizontalAdvance(item.text) <= itemTextRoom(view, item.rect.width()))
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), item.text, view->viewport(), item.rect);
        return true;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        item.text = fittedText(item.text, item.fontMetrics, itemTextRoom(item.widget, item.rect.width()));
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
    }
};

} // namespace korvo
