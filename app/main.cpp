// korvo: drop a folder, inventory it, export it, pack it.

#include "MainWindow.h"

#include "EnumerateWorker.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    application.setWindowIcon(QIcon(QStringLiteral(":/korvo.png")));
    korvo::registerMetaTypes();
    korvo::MainWindow window;
    window.show();
    window.openCommandLine(QApplication::arguments().mid(1));
    return application.exec();
}
