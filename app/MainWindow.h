#pragma once

#include <QMainWindow>

namespace korvo {

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace korvo
