#include "DropArea.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>

namespace korvo {

namespace {
const QString& dropHereText()
{
    static const QString text = QStringLiteral("<ここにドロップしてください>");
    return text;
}
} // namespace

DropArea::DropArea(QWidget* parent, Qt::WindowFlags flags) : QLabel(parent, flags)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
    setAcceptDrops(true);
    setBackgroundRole(QPalette::Dark);
    setAutoFillBackground(true);
    // The angle brackets belong to the text; never read it as markup.
    setTextFormat(Qt::PlainText);
    setText(dropHereText());
}

void DropArea::dragEnterEvent(QDragEnterEvent* event)
{
    setBackgroundRole(QPalette::Highlight);
    event->acceptProposedAction();
}

void DropArea::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void DropArea::dragLeaveEvent(QDragLeaveEvent* event)
{
    setBackgroundRole(QPalette::Dark);
    event->accept();
}

void DropArea::dropEvent(QDropEvent* event)
{
    setBackgroundRole(QPalette::Dark);
    emit dropped(event->mimeData());
    event->acceptProposedAction();
}

} // namespace korvo
