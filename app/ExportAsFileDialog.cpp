#include "ExportAsFileDialog.h"

#include "ui_ExportAsFileDialog.h"

#include <QCloseEvent>

#include <cmath>

namespace korvo {

ExportAsFileDialog::ExportAsFileDialog(QWidget* parent) : QDialog(parent), ui(new Ui::ExportAsFileDialog)
{
    ui->setupUi(this);
    setFixedSize(size());
}

ExportAsFileDialog::~ExportAsFileDialog() = default;

void ExportAsFileDialog::setTarget(const QString& path)
{
    ui->labelTarget->setText(path);
    ui->progressBar->setValue(0);
}

QString ExportAsFileDialog::target() const
{
    return ui->labelTarget->text();
}

int ExportAsFileDialog::progressValue() const
{
    return ui->progressBar->value();
}

void ExportAsFileDialog::setProgress(qreal value)
{
    // Out-of-range or NaN values would make the conversion undefined.
    if (!std::isfinite(value))
        return;
    ui->progressBar->setValue(int(std::trunc(qBound(qreal(-1.0), value, qreal(101.0)))));
}

void ExportAsFileDialog::reject()
{
    if (closable_)
        QDialog::reject();
}

void ExportAsFileDialog::closeEvent(QCloseEvent* event)
{
    if (closable_)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

} // namespace korvo
