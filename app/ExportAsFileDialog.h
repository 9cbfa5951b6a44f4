#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class ExportAsFileDialog;
}

namespace korvo {

// The small window that shows which file an export writes and how far it
// has got. It has no buttons: closing it only hides it, the export goes on.
// A window that waits for the export can make it stay open until then.
class ExportAsFileDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ExportAsFileDialog(QWidget* parent = nullptr);
    ~ExportAsFileDialog() override;

    // Shows `path` as the target and starts the bar again at 0.
    void setTarget(const QString& path);

    QString target() const;
    int progressValue() const;

    // False: closing and Escape are refused; hide() still ends it.
    void setClosable(bool closable) { closable_ = closable; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

public slots:
    // `value` is in percent; the bar shows it truncated toward zero.
    void setProgress(qreal value);

private:
    QScopedPointer<Ui::ExportAsFileDialog> ui;
    bool closable_ = true;
};

} // namespace korvo
