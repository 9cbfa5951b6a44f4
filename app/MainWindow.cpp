#include "MainWindow.h"

namespace korvo {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("korvo"));
}

} // namespace korvo
