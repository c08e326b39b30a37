#include "LinkTarget.h"
#include "LogSetup.h"
#include "MainWindow.h"
#include "TerminationWatcher.h"

#include <QApplication>
#include <QCommandLineParser>

#include <iostream>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane Manager"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velqor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Finds and configures Velqor Orvane sensor heads."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption logLevel(QStringLiteral("log-level"),
                                      QStringLiteral("Diagnostic log: trace, debug or info (also ORVANE_LOG_LEVEL)."),
                                      QStringLiteral("level"));
    const QCommandLineOption logFile(QStringLiteral("log-file"),
                                     QStringLiteral("Write the diagnostic log to this file instead of stderr."),
                                     QStringLiteral("path"));
    const QCommandLineOption target(QStringLiteral("target"),
                                    QStringLiteral("Send to ADDRESS[:PORT] instead of 255.255.255.255:4365."),
                                    QStringLiteral("address"));
    parser.addOptions({logLevel, logFile, target});
    parser.process(application);

    // Checked before anything is opened.
    const QString level = parser.isSet(logLevel) ? parser.value(logLevel) : qEnvironmentVariable("ORVANE_LOG_LEVEL");
    if (!velqor::IsLogLevel(level.toStdString())) {
        std::cerr << "orvane-manager: the log level is trace, debug or info, not \"" << level.toStdString() << "\""
                  << std::endl;
        return 2;
    }
    velqor::LinkTarget linkTarget;
    if (parser.isSet(target)) {
        const auto parsed = velqor::ParseLinkTarget(parser.value(target).toStdString());
        if (!parsed) {
            std::cerr << "orvane-manager: --target takes ADDRESS[:PORT]" << std::endl;
            return 2;
        }
        linkTarget = *parsed;
    }
    const QString logPath = parser.value(logFile);
    if ((parser.isSet(logFile) && !velqor::LogFolderExists(logPath.toStdString())) ||
        !velqor::SetUpLogging(level.toStdString(), logPath.toStdString())) {
        std::cerr << "orvane-manager: cannot write " << logPath.toStdString() << std::endl;
        return 2;
    }

    // Before the first search, which a session's end may already interrupt.
    TerminationWatcher terminationWatcher;
    MainWindow window(nullptr, linkTarget);
    QObject::connect(&terminationWatcher, &TerminationWatcher::terminated, &window, &MainWindow::endSession);
    window.show();
    return application.exec();
}
