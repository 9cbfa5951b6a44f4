#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class ExportAsFileDialog;
}

namespace korvo {

// The small window that shows which file an export writes and how far it
// has got. It has no buttons: closing it only hides it, the export goes on.
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

public slots:
    // `value` is in percent; the bar shows it truncated toward zero.
    void setProgress(qreal value);

private:
    QScopedPointer<Ui::ExportAsFileDialog> ui;
};

} // namespace korvo
