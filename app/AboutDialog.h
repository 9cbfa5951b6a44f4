#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class AboutDialog;
}

namespace korvo {

// The program's name, version and rights notice.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    QScopedPointer<Ui::AboutDialog> ui;
};

} // namespace korvo
