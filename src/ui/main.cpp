#include "LinkTarget.h"
#include "LogSetup.h"
#include "MainWindow.h"
#include "TerminationWatcher.h"
#include "Translations.h"

#include <QApplication>
#include <QCommandLineParser>

#include <iostream>
#include <string>

namespace {

void describe(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Orvane Manager"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velqor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    parser.setApplicationDescription(QStringLiteral("Finds and configures Velqor Orvane sensor heads."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("log-level"), QStringLiteral("Diagnostic log: trace, debug or info (also ORVANE_LOG_LEVEL)."),
         QStringLiteral("level")},
        {QStringLiteral("log-file"), QStringLiteral("Write the diagnostic log to this file instead of stderr."),
         QStringLiteral("path")},
        {QStringLiteral("target"), QStringLiteral("Send to ADDRESS[:PORT] instead of 255.255.255.255:4365."),
         QStringLiteral("address")},
    });
}

// --help and --version are answered without a display: before the window's
// application, which cannot start without one.
void answerWithoutDisplay(int argc, char **argv)
{
    for (int at = 1; at < argc; ++at) {
        const std::string argument = argv[at];
        if (argument == "--")
            return;
        if (argument == "-h" || argument == "--help" || argument == "--help-all" || argument == "-?" ||
            argument == "-v" || argument == "--version") {
            QCoreApplication application(argc, argv);
            QCommandLineParser parser;
            describe(parser);
            parser.process(application); // prints and exits
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    answerWithoutDisplay(argc, argv);
    QApplication application(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    parser.process(application);
    const QString logLevel = QStringLiteral("log-level");
    const QString logFile = QStringLiteral("log-file");
    const QString target = QStringLiteral("target");

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

    // The window's texts, and Qt's own, in the user's language.
    Translations::install();

    // Before the first search, which a session's end may already interrupt.
    TerminationWatcher terminationWatcher;
    MainWindow window(nullptr, linkTarget);
    QObject::connect(&terminationWatcher, &TerminationWatcher::terminated, &window, &MainWindow::endSession);
    window.show();
    return application.exec();
}
