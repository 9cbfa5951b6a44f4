#include "AboutDialog.h"

#include "ui_AboutDialog.h"

namespace korvo {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    setFixedSize(size());
}

AboutDialog::~AboutDialog() = default;

} // namespace korvo
