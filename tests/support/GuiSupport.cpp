#include "GuiSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QWidget>

namespace korvo::test {

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> handler) : handler_(std::move(handler))
{
    connect(&timer_, &QTimer::timeout, this, &ModalWatcher::poll);
    timer_.start(20);
}

ModalWatcher::~ModalWatcher() = default;

void ModalWatcher::poll()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        handler_(modal);
}

MessageBoxCloser::MessageBoxCloser()
    : watcher_([this](QWidget* modal) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          if (!box || !box->isVisible())
              return;
          seen.append({box->windowTitle(), box->text()});
          if (QAbstractButton* chosen = answer ? box->button(QMessageBox::StandardButton(answer)) : nullptr)
              chosen->click();
          else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
              ok->click();
          else
              box->close();
      })
{
}

void dragEnter(QWidget* target, const QMimeData* data)
{
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

void dragLeave(QWidget* target)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
}

void drop(QWidget* target, const QMimeData* data)
{
    dragEnter(target, data);
    QDropEvent dropEvent(target->rect().center(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
}

QStringList visibleTopLevelWindows()
{
    QStringList windows;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (widget->isVisible())
            windows << QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()),
                                                       widget->windowTitle());
    }
    return windows;
}

} // namespace korvo::test
