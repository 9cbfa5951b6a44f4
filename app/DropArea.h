#pragma once

#include <QLabel>

class QMimeData;

namespace korvo {

// The panel the user drops a folder (or a file) on. It accepts every drag,
// lights up while one hovers over it and hands the dropped data on; what the
// data means is decided by whoever listens to `dropped`.
class DropArea : public QLabel
{
    Q_OBJECT
public:
    explicit DropArea(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

signals:
    // The data is valid only while the signal is delivered.
    void dropped(const QMimeData* mimeData);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace korvo
