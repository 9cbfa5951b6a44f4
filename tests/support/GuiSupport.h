#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QMimeData;
class QWidget;

namespace korvo::test {

// Watches for modal windows while a test is blocked in a modal run: every
// 20 ms the current modal widget is handed to `handler`, which inspects it
// and usually closes it. A handler that opens a nested modal window needs a
// second ModalWatcher for it (a timer does not fire while its own slot runs).
class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ModalWatcher(std::function<void(QWidget* modal)> handler);
    ~ModalWatcher() override;

private:
    void poll();

    std::function<void(QWidget*)> handler_;
    QTimer timer_;
};

// A message box as the user saw it.
struct SeenMessageBox
{
    QString title;
    QString text;
};

// Records every message box that opens and presses its OK button (or
// closes it when it has none); a question box gets `answer` when it has that
// button (a QMessageBox::StandardButton; by default none).
class MessageBoxCloser : public QObject
{
    Q_OBJECT
public:
    MessageBoxCloser();
    QList<SeenMessageBox> seen;
    int answer = 0;

private:
    ModalWatcher watcher_;
};

// Drags `data` over `target` and drops it there, through the widget's own
// drag-and-drop event handlers.
void dragEnter(QWidget* target, const QMimeData* data);
void dragLeave(QWidget* target);
void drop(QWidget* target, const QMimeData* data);

// The top-level widgets that are visible now (class and title), for checks
// that a test leaves no window open.
QStringList visibleTopLevelWindows();

} // namespace korvo::test
