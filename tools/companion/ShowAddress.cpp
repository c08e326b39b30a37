// orvane-show-address: a companion program to try the launcher with. It
// shows the device address it was started with.

#include <QApplication>
#include <QMessageBox>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString address = arguments.size() > 1 ? arguments.at(1) : QObject::tr("(no address)");
    QMessageBox::information(nullptr, QObject::tr("Orvane companion"),
                             QObject::tr("Started for the Orvane at %1").arg(address));
    return 0;
}
