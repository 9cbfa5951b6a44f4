// korvo: drop a folder, inventory it, export it, pack it.

#include "MainWindow.h"

#include "EnumerateWorker.h"
#include "QtTranslation.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    application.setWindowIcon(QIcon(QStringLiteral(":/korvo.png")));
    // Without it the standard buttons stay English; nothing else changes.
    korvo::installQtTranslation(&application);
    korvo::registerMetaTypes();
    korvo::MainWindow window;
    window.show();
    window.openCommandLine(QApplication::arguments().mid(1));
    return application.exec();
}
