#include "MainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane Manager"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velqor"));

    MainWindow window;
    window.show();
    return application.exec();
}
