#include "CommandLine.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    CommandLine::guardStandardStreams();
    // Qt Core only: no display, no platform plugin, nothing printed but ours.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvane-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velqor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    CommandLine commandLine;
    return commandLine.run(CommandLine::arguments(argc, argv));
}
