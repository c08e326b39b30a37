#include "CommandLine.h"

#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceEvents.h"
#include "LinkLock.h"
#include "LogSetup.h"
#include "MovePlan.h"
#include "OrvaneManager.h"
#include "PlanFile.h"
#include "PlanReport.h"
#include "PlanRunner.h"
#include "Protocol.h"
#include "Serial.h"

#include <boost/system/system_error.hpp>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

constexpr std::uint32_t kSearchMs = 1500;
// watch: how often it looks for changes, a signal and a reader that has gone.
constexpr auto kPollEvery = std::chrono::milliseconds(50);
// The answers to one query come within moments of each other.
constexpr auto kSettle = std::chrono::milliseconds(200);
constexpr auto kLostWarningEvery = std::chrono::seconds(10);
// watch ends at once: only the answers already on their way are taken in.
constexpr auto kWatchQuiet = std::chrono::milliseconds(50);
constexpr auto kLongestWatchQuietWait = std::chrono::milliseconds(100);
// Sockets stay open until answers have stopped, so that late ones are not
// refused by the kernel (see OrvaneManager::WaitQuiet).
constexpr auto kQuietBeforeClosing = std::chrono::milliseconds(1000);
constexpr auto kLongestQuietWait = std::chrono::milliseconds(3000);

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// set-ip and apply: a signal ends the run in an orderly way, with every
// device it touched said where it is, instead of where it stands.
void catchEndSignals()
{
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
#ifdef SIGHUP
    std::signal(SIGHUP, requestStop);
#endif
}

QString dotted(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

const char *const kStatuses = R"(
Exit status:
  0  success (set-ip: the change was acknowledged or verified)
  1  usage error
  2  device link error
  3  set-ip: no device with that serial answered
  4  set-ip: the serial answered from several addresses, or on several
     interfaces without --interface; nothing was sent
  5  set-ip: an address no device can take, or one that would take it or
     this workstation off the network (the subnet's network or broadcast
     address, the workstation's own, a gateway of its routes; without
     --force: another device's, one another host answers for, one outside
     the networks of the device's interface); nothing was sent
  6  set-ip: the device refused, whenever its refusal came
  7  set-ip: no answer, and the device was not found at the new address
     (or it acknowledged and was found nowhere)
  8  standard output or the diagnostic log could not be written (a full
     disk, a closed descriptor); a reader that goes away (list | head)
     ends the run quietly with 0
  9  set-ip: the device acknowledged, but still answers at its old address
 10  apply: a row did not reach its address (the report says which and
     why); with --dry-run: a row could not run
 11  set-ip, apply: another program is changing addresses on an interface
     the change needs (it is named); nothing was sent
 12  set-ip, apply: a device was left neither at its old nor at its new
     address (on a swap's temporary address, say); the output says where,
     and apply --resume takes it on
 13  set-ip, apply: interrupted (SIGINT, SIGTERM, SIGHUP); the change under
     way was finished, what a swap had parked went back where that was safe,
     and the output says where each device it touched is
An option that does not apply to the command is a usage error, and so is
a plan that cannot be read (its line is named); nothing is sent then.
watch ends with 0 on SIGINT, SIGTERM and SIGHUP.)";

// Standard output was closed when the program started (its descriptor now
// holds /dev/null, so that no socket or file takes its place).
bool outputClosed = false;

// Writes all of bytes to standard output: 0, or the error that stopped it
// (EPIPE when the reader has gone).
int writeOutput(const QByteArray &bytes)
{
    if (outputClosed)
        return EBADF;
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
#if defined(_WIN32)
        const int written = _write(1, data, static_cast<unsigned>(std::min<qsizetype>(left, 1 << 20)));
#else
        const ssize_t written = ::write(STDOUT_FILENO, data, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
#endif
        if (written < 0)
            return errno;
        data += written;
        left -= written;
    }
    return 0;
}

// Whether a failed write to standard output means its reader has gone:
// EPIPE; on Windows a closed pipe fails a write with EINVAL.
bool readerGoneError(int error)
{
#if defined(_WIN32)
    return error == EPIPE || error == EINVAL;
#else
    return error == EPIPE;
#endif
}

// Whether the reader of standard output has gone (a closed pipe), seen
// without writing anything to it.
bool readerGone()
{
#if defined(_WIN32)
    // A write of nothing to a pipe whose reader has gone fails; to any other
    // output it does nothing.
    DWORD written = 0;
    if (WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &written, nullptr))
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
#else
    pollfd output {STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
#endif
}

// The serial a SERIAL argument names: its display form (UTF-8 with \xNN
// escapes) or hex:; none for text that names no exact byte string.
std::optional<velqor::Serial> parseSerial(const QString &text)
{
    if (!QStringView(text).isValidUtf16())
        return std::nullopt;
    return velqor::Serial::FromText(text.toStdString());
}

// As the table shows it: edge spaces escaped, so that they are seen.
QString display(const velqor::Serial &serial)
{
    return QString::fromStdString(serial.Column());
}

} // namespace

CommandLine::CommandLine() = default;

CommandLine::~CommandLine() = default;

int CommandLine::fail(int status, const QString &message)
{
    std::cerr << "orvane-cli: " << message.toUtf8().constData() << std::endl;
    return status;
}

int CommandLine::print(const QByteArray &bytes)
{
    const int error = writeOutput(bytes);
    if (error == 0)
        return Ok;
    if (readerGoneError(error))
        return ReaderGone;
    return fail(
        OutputError,
        QStringLiteral("cannot write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

void CommandLine::guardStandardStreams()
{
#if defined(_WIN32)
    // Everything is written as UTF-8; the console shows it so, whatever its
    // code page was (serials such as "Müller").
    SetConsoleOutputCP(CP_UTF8);
    // The bytes as written and read, the same as on Linux: CSV ends its
    // lines in CRLF itself, and text mode would add a CR to each line out
    // and take a plan's CRs and Ctrl+Z in.
    for (FILE *stream : {stdin, stdout, stderr})
        _setmode(_fileno(stream), _O_BINARY);
#else
    std::signal(SIGPIPE, SIG_IGN);
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number: the one that was closed.
        if (::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY) == stream && stream == STDOUT_FILENO)
            outputClosed = true;
    }
#endif
}

int CommandLine::linkFailure(const boost::system::system_error &error)
{
    return fail(LinkError, QStringLiteral("device link error: %1").arg(QString::fromLocal8Bit(error.what())));
}

QStringList CommandLine::arguments(int argc, char **argv)
{
#if defined(_WIN32)
    // Windows hands over UTF-16, which Qt takes as it is.
    (void)argc;
    (void)argv;
    return QCoreApplication::arguments();
#else
    // Linux and macOS hand over bytes; decoding them as the locale says
    // would turn a byte that is not UTF-8 into a replacement character.
    QStringList list;
    for (int i = 0; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString text = QString::fromUtf8(bytes);
        list << (text.toUtf8() == bytes ? text : QString::fromStdString(velqor::Serial(bytes.toStdString()).Display()));
    }
    return list;
#endif
}

int CommandLine::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds and configures Velqor Orvane sensor heads.\n\n"
                       "Commands:\n"
                       "  list                   search once and list every device\n"
                       "  set-ip SERIAL ADDRESS  move a device\n"
                       "  watch                  search without end, print what changes\n"
                       "  apply PLAN             move devices as a plan file says (- reads stdin)\n\n"
                       "SERIAL is written as list shows it: UTF-8 text, with \\xNN for any other\n"
                       "byte, for a backslash and for characters that would not show (spaces\n"
                       "other than U+0020, invisible ones), or hex: and the bytes in hex; CSV\n"
                       "cells (\\x3dX for =X) are read alike. Put -- before a serial that\n"
                       "starts with -: set-ip -- -ORV1 10.0.0.20. A serial that answers on two\n"
                       "interfaces is two devices: name one with --interface.\n\n"
                       "PLAN is a spreadsheet: .xlsx or .ods (its first sheet, or --sheet), or\n"
                       "CSV (UTF-8, UTF-16 or Windows-1252; commas, semicolons or tabs). Its\n"
                       "header row names serial (or serial_hex), address and, optionally,\n"
                       "interface and from (where the device is now: a row whose device is not\n"
                       "there is not run); case and spaces aside, IP and Serial number do too.\n"
                       "Other columns are ignored, so a list saved with --format csv or xlsx and\n"
                       "edited is a plan. A row names its device by serial_hex, by serial and\n"
                       "from, or by serial alone; a lone serial that reads as a number (123,\n"
                       "1E3: what a spreadsheet makes of 000123) is refused without --force.\n"
                       "An empty address leaves that device as it is.\n\n"
                       "apply searches once, checks every row (the rules of set-ip; no two\n"
                       "rows onto one address) before it sends anything, then moves the\n"
                       "devices in an order that works (chains, and swaps and cycles through a\n"
                       "free address), each move verified, and reports every row. A row\n"
                       "waiting for one that failed is not run.\n\n"
                       "A swap parks a device on a free address; where it goes is written to a\n"
                       "journal first, and apply --resume takes what an interrupted run left\n"
                       "there where the journal says. One program at a time changes addresses\n"
                       "on an interface: another that needs it is refused (status 11). A run\n"
                       "ends with a search that finds every device it touched.\n") +
        QString::fromLatin1(kStatuses));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("list, set-ip, apply: search for MS milliseconds."),
                                     QStringLiteral("ms"), QString::number(kSearchMs));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("list, watch, apply: table, json or csv; list, apply: xlsx."),
                                    QStringLiteral("format"), QStringLiteral("table"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
                                      QStringLiteral("set-ip: do not search for the device at its new address."));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("set-ip, apply: onto another device's address, swap the two (through a free address, "
                       "each move verified); move it even onto an address another host answers for, or outside the "
                       "networks of its interface."));
    const QCommandLineOption resumeOption(
        QStringLiteral("resume"),
        QStringLiteral("apply: instead of a plan, take the devices an interrupted run left on a temporary address "
                       "where the journal says (or back home, where that is taken)."));
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("apply: check the plan and print it as it would run; send no change."));
    const QCommandLineOption sheet(QStringLiteral("sheet"),
                                   QStringLiteral("apply: the sheet of an .xlsx or .ods plan (else its first)."),
                                   QStringLiteral("name"));
    const QCommandLineOption logLevel(QStringLiteral("log-level"),
                                      QStringLiteral("Diagnostic log: trace, debug or info (also ORVANE_LOG_LEVEL)."),
                                      QStringLiteral("level"));
    const QCommandLineOption logFile(QStringLiteral("log-file"),
                                     QStringLiteral("Write the diagnostic log to this file instead of stderr."),
                                     QStringLiteral("path"));
    const QCommandLineOption targetOption(QStringLiteral("target"),
                                          QStringLiteral("Send to ADDRESS[:PORT] instead of 255.255.255.255:4365."),
                                          QStringLiteral("address"));
    const QCommandLineOption interfaceOption(
        QStringLiteral("interface"),
        QStringLiteral("set-ip: the device on this interface, where its serial answers on several."),
        QStringLiteral("name"));
    parser.addOptions({timeout, format, noVerify, force, dryRun, resumeOption, sheet, logLevel, logFile, targetOption,
                       interfaceOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, set-ip, watch or apply"));
    // Not process(): on Windows it shows help in a message box when it finds
    // no console, and a script reads nothing.
    if (!parser.parse(arguments))
        return fail(UsageError, parser.errorText());
    // /? asks for help, as Windows programs take it.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
        parser.positionalArguments() == QStringList {QStringLiteral("/?")}) {
        return std::max<int>(Ok, print(parser.helpText().toUtf8()));
    }
    if (parser.isSet(QStringLiteral("version"))) {
        return std::max<int>(Ok,
                             print((QCoreApplication::applicationName() + QLatin1Char(' ') +
                                    QCoreApplication::applicationVersion() + QLatin1Char('\n'))
                                       .toUtf8()));
    }

    // Everything is checked before anything is opened or sent.
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(UsageError, QStringLiteral("a command is needed: list, set-ip, watch or apply (see --help)"));
    const QString command = positional.first();
    const bool arityOk = (command == QLatin1String("list") && positional.size() == 1) ||
        (command == QLatin1String("set-ip") && positional.size() == 3) ||
        (command == QLatin1String("watch") && positional.size() == 1) ||
        (command == QLatin1String("apply") && positional.size() == (parser.isSet(resumeOption) ? 1 : 2));
    if (!arityOk)
        return fail(UsageError,
                    QStringLiteral("unknown command or wrong arguments: %1 (see --help)").arg(positional.join(' ')));
    // An option that does not apply would be ignored, and a script would not
    // get what it asked for.
    const std::map<QString, std::vector<const QCommandLineOption *>> notFor {
        {QStringLiteral("list"), {&noVerify, &force, &interfaceOption, &dryRun, &resumeOption, &sheet}},
        {QStringLiteral("set-ip"), {&format, &dryRun, &resumeOption, &sheet}},
        {QStringLiteral("watch"), {&timeout, &noVerify, &force, &interfaceOption, &dryRun, &resumeOption, &sheet}},
        // A plan names each row's interface itself, and every move is verified.
        {QStringLiteral("apply"), {&noVerify, &interfaceOption}},
    };
    for (const QCommandLineOption *option : notFor.at(command)) {
        if (parser.isSet(*option))
            return fail(UsageError, QStringLiteral("--%1 does not apply to %2").arg(option->names().first(), command));
    }
    const bool levelGiven = parser.isSet(logLevel);
    const QString level = levelGiven ? parser.value(logLevel) : qEnvironmentVariable("ORVANE_LOG_LEVEL");
    if (!velqor::IsLogLevel(level.toStdString()))
        return fail(UsageError,
                    QStringLiteral("%1 takes trace, debug or info, not \"%2\"")
                        .arg(levelGiven ? QStringLiteral("--log-level") : QStringLiteral("ORVANE_LOG_LEVEL"), level));
    const QString logPath = parser.value(logFile);
    if (parser.isSet(logFile) && (logPath.isEmpty() || !velqor::LogFolderExists(logPath.toStdString())))
        return fail(UsageError, QStringLiteral("--log-file: no folder for %1").arg(logPath));
    if (parser.isSet(targetOption)) {
        const auto parsed = velqor::ParseLinkTarget(parser.value(targetOption).toStdString());
        if (!parsed)
            return fail(UsageError, QStringLiteral("--target takes ADDRESS[:PORT]"));
        target = *parsed;
    }
    DeviceFormatter::Format chosenFormat = DeviceFormatter::Format::Table;
    if (!DeviceFormatter::parseFormat(parser.value(format), &chosenFormat))
        return fail(UsageError, QStringLiteral("--format takes table, json, csv or xlsx"));
    if (chosenFormat == DeviceFormatter::Format::Xlsx && command == QLatin1String("watch"))
        return fail(UsageError, QStringLiteral("watch prints lines: --format xlsx is for list and apply"));
    bool timeoutOk = false;
    const std::uint32_t timeoutMs = parser.value(timeout).toUInt(&timeoutOk);
    if (!timeoutOk || timeoutMs == 0)
        return fail(UsageError, QStringLiteral("--timeout takes a number of milliseconds above 0"));
    if (!velqor::SetUpLogging(level.toStdString(), logPath.toStdString()))
        return fail(UsageError, QStringLiteral("cannot write %1").arg(logPath));

    if (command == QLatin1String("apply") && parser.isSet(resumeOption) &&
        (parser.isSet(dryRun) || parser.isSet(force) || parser.isSet(sheet)))
        return fail(UsageError, QStringLiteral("--resume takes no --dry-run, --force nor --sheet"));
    commandText = QStringLiteral("pid %1: orvane-cli %2")
                      .arg(QCoreApplication::applicationPid())
                      .arg(positional.mid(0, 2).join(QLatin1Char(' ')));

    int status = UsageError;
    if (command == QLatin1String("apply") && parser.isSet(resumeOption))
        status = resume(timeoutMs, chosenFormat);
    else if (command == QLatin1String("list"))
        status = list(timeoutMs, chosenFormat);
    else if (command == QLatin1String("set-ip"))
        status = setIp(positional[1], positional[2], parser.value(interfaceOption), timeoutMs, !parser.isSet(noVerify),
                       parser.isSet(force));
    else if (command == QLatin1String("apply"))
        status = apply(positional[1], parser.value(sheet), timeoutMs, chosenFormat, parser.isSet(dryRun),
                       parser.isSet(force));
    else
        status = watch(chosenFormat);
    // What it printed is out; the sockets close once the answers have stopped.
    if (manager && command == QLatin1String("watch"))
        manager->WaitQuiet(kWatchQuiet, kLongestWatchQuietWait);
    else if (manager)
        manager->WaitQuiet(kQuietBeforeClosing, kLongestQuietWait);
    if (velqor::LogFileFailed()) {
        const int failed = fail(OutputError, QStringLiteral("cannot write the diagnostic log to %1").arg(logPath));
        return status == Ok ? failed : status;
    }
    return status;
}

bool CommandLine::open()
{
    try {
        manager = std::make_unique<velqor::OrvaneManager>(target.address, target.port);
        warnAboutJournal();
        return true;
    } catch (const boost::system::system_error &error) {
        linkFailure(error);
        return false;
    }
}

velqor::ChangeTransaction::Safeguards CommandLine::safeguards()
{
    return {&journal, velqor::LinkLock::DefaultFolder(), commandText.toStdString()};
}

void CommandLine::warnAboutJournal() const
{
    for (const velqor::Journal::Entry &entry : journal.Entries()) {
        // A program that runs on its interface now is moving it still.
        if (!velqor::LinkLock::TryAcquire(velqor::LinkLock::DefaultFolder(), {entry.device.link},
                                          commandText.toStdString()))
            continue;
        std::cerr << "orvane-cli: warning: " << entry.device.Text() << " may be stranded at "
                  << velqor::FormatAddress(entry.temporary) << ": a run that moved it from "
                  << velqor::FormatAddress(entry.original) << " to " << velqor::FormatAddress(entry.planned)
                  << " did not end; orvane-cli apply --resume takes it there" << std::endl;
    }
}

int CommandLine::list(std::uint32_t timeoutMs, DeviceFormatter::Format format)
{
    if (!open())
        return LinkError;
    try {
        manager->Search(timeoutMs, true, nullptr);
    } catch (const boost::system::system_error &error) {
        return linkFailure(error);
    }
    for (const velqor::Diagnostic &warning : manager->GetWorkstationDiagnostics())
        std::cerr << "orvane-cli: warning: " << warning.text << "; fix: " << warning.fix << std::endl;
    const std::vector<velqor::DeviceDetails> devices = manager->GetDeviceDetails();
    if (const std::uint64_t lost = manager->GetLostCount())
        std::cerr << "orvane-cli: warning: " << lost
                  << " answers lost in the system's receive buffer; the list may lack devices: search again"
                  << std::endl;
    if (devices.empty())
        std::cerr << "orvane-cli: no device answered; " << velqor::NothingFoundHint(manager->GetInterfaces())
                  << std::endl;
    return std::max<int>(Ok, print(DeviceFormatter::list(devices, format)));
}

int CommandLine::setIp(const QString &serialText, const QString &addressText, const QString &link,
                       std::uint32_t timeoutMs, bool verifyChange, bool force)
{
    const std::optional<velqor::Serial> serial = parseSerial(serialText);
    if (!serial)
        return fail(UsageError, QStringLiteral("SERIAL: a backslash starts \\xNN, and hex: takes pairs of hex digits"));
    if (serial->Empty())
        return fail(UsageError, QStringLiteral("SERIAL is empty"));
    // No device can answer with a serial that its command would not carry.
    if (serial->Bytes().size() > velqor::kMaxSerialLength) {
        const QString shown = display(*serial);
        return fail(UsageError,
                    QStringLiteral("SERIAL is too long to address (%1 bytes; a device's is at most %2): %3…")
                        .arg(serial->Bytes().size())
                        .arg(velqor::kMaxSerialLength)
                        .arg(shown.left(32)));
    }
    const auto address = velqor::ParseDottedAddress(addressText.toStdString());
    if (!address || !velqor::IsAssignable(*address))
        return fail(InvalidAddress, QStringLiteral("%1 is no address a device can take").arg(addressText));
    if (!open())
        return LinkError;
    const QString name = display(*serial);
    const QString newAddress = QString::fromStdString(velqor::FormatAddress(*address));
    try {
        manager->Search(timeoutMs, true, nullptr);
        const std::vector<velqor::DeviceDetails> devices = manager->GetDeviceDetails();
        if (const std::uint64_t lost = manager->GetLostCount())
            std::cerr << "orvane-cli: warning: " << lost
                      << " answers lost in the system's receive buffer; the list may lack devices: search again"
                      << std::endl;
        // The serial on each link it answers on: one device per link.
        std::vector<velqor::DeviceId> found;
        for (const velqor::DeviceDetails &device : devices) {
            if (device.serial == *serial && (link.isEmpty() || device.via.name == link.toStdString()))
                found.push_back(device.Id());
        }
        if (found.empty() && link.isEmpty())
            return fail(NotFound, QStringLiteral("no device %1 answered").arg(name));
        if (found.empty())
            return fail(NotFound, QStringLiteral("no device %1 answered on %2").arg(name, link));
        if (found.size() > 1) {
            QStringList links;
            for (const velqor::DeviceId &id : found)
                links << QString::fromStdString(id.link);
            return fail(SeveralAddresses,
                        QStringLiteral("%1 answers on several interfaces: %2; choose one with "
                                       "--interface")
                            .arg(name, links.join(QStringLiteral(", "))));
        }
        if (velqor::IsLinkLocal(*address))
            std::cerr << "orvane-cli: warning: " << newAddress.toStdString()
                      << " is link-local: only hosts on the same link reach it" << std::endl;
        // Onto another device's address, forced: the two swap, through a free
        // address, each move verified. A swap is always verified.
        const velqor::DeviceId device = found.front();
        const bool swap = force && manager->AddressesBesides(device).count(*address) != 0;
        if (!verifyChange && !swap) {
            std::string busy;
            const auto lock = velqor::LinkLock::TryAcquire(velqor::LinkLock::DefaultFolder(), {device.link},
                                                           commandText.toStdString(), &busy);
            if (!lock)
                return report(name, *address, oldAddress(device),
                              velqor::ChangeOutcome::NotSent(velqor::NotSentReason::LinkInUse, busy), false);
            const velqor::ChangeOutcome sent = manager->ChangeAddress(device, *address, force, false);
            return report(name, *address, oldAddress(device), sent, false);
        }
        catchEndSignals();
        velqor::PlanRunner runner(*manager, safeguards());
        const velqor::MovePlan plan = runner.Prepare(runner.MoveRows(device, *address, swap), force);
        if (stopRequested)
            return fail(Interrupted, QStringLiteral("interrupted before anything was sent"));
        velqor::PlanRunner::Control control;
        control.interrupted = [] { return stopRequested != 0; };
        const std::vector<velqor::RowResult> results = runner.Run(plan, control);
        int status = Ok;
        bool stranded = false;
        bool inUse = false;
        for (std::size_t row = 0; row < results.size(); ++row) {
            const velqor::MovePlan::Row &planned = plan.Rows()[row];
            const velqor::RowResult &result = results[row];
            const QString who = display(planned.device.serial);
            const velqor::Ipv4Bytes from = planned.found ? planned.found->address : velqor::Ipv4Bytes {};
            int said = Ok;
            switch (result.kind) {
            case velqor::RowResult::Kind::Moved:
            case velqor::RowResult::Kind::Failed:
            case velqor::RowResult::Kind::NotSent:
                inUse = inUse || result.outcome.reason == velqor::NotSentReason::LinkInUse;
                // The address it was sent to: a swap's temporary one too.
                said = report(who, result.tried.value_or(planned.to), from, result.outcome, true, force);
                if (result.movedBack)
                    fail(Ok, QStringLiteral("%1 moved back to %2").arg(who, dotted(from)));
                break;
            case velqor::RowResult::Kind::AlreadyThere:
                said =
                    std::max<int>(Ok, print(QStringLiteral("%1 is at %2 already\n").arg(who, dotted(from)).toUtf8()));
                break;
            case velqor::RowResult::Kind::NotRun: {
                const QString other =
                    result.waitedFor ? display(plan.Rows()[*result.waitedFor].device.serial) : QString();
                if (result.movedBack && result.waitedFor)
                    fail(Ok,
                         QStringLiteral("%1 moved back to %2, since %3 did not move").arg(who, dotted(from), other));
                else if (result.movedBack)
                    fail(Ok, QStringLiteral("%1 moved back to %2: the run was interrupted").arg(who, dotted(from)));
                else if (result.waitedFor)
                    fail(Ok, QStringLiteral("%1 was not moved, since %2 did not move").arg(who, other));
                else
                    fail(Ok, QStringLiteral("%1 was not moved: the run was interrupted").arg(who));
                break;
            }
            case velqor::RowResult::Kind::Stranded: {
                stranded = true;
                const QString at = result.endedAt ? dotted(*result.endedAt) : QString();
                QString line = result.parked
                    ? QStringLiteral("%1 was left at %2, the temporary address of the swap").arg(who, at)
                    : QStringLiteral("%1 is at %2").arg(who, at);
                if (!result.heldBy.empty())
                    line += QStringLiteral(": %1 may be held by %2")
                                .arg(dotted(from), display(velqor::Serial(result.heldBy)));
                said = fail(Stranded, line + QStringLiteral("; orvane-cli apply --resume takes it on"));
                break;
            }
            }
            if (status == Ok)
                status = said;
        }
        if (inUse)
            return LinkInUse;
        if (stranded)
            return Stranded;
        return stopRequested ? Interrupted : status;
    } catch (const boost::system::system_error &error) {
        return linkFailure(error);
    }
}

int CommandLine::apply(const QString &path, const QString &sheet, std::uint32_t timeoutMs,
                       DeviceFormatter::Format format, bool dryRun, bool force)
{
    velqor::PlanFile::Options options;
    options.sheet = sheet.toStdString();
    options.force = force;
    velqor::PlanFile plan;
    if (path == QLatin1String("-")) {
#ifdef _WIN32
        // A spreadsheet's bytes, not text whose line ends are changed.
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        plan = velqor::PlanFile::Read(std::cin, options);
    } else {
        std::ifstream file(std::filesystem::u8path(path.toStdString()), std::ios::binary);
        if (!file)
            return fail(UsageError, QStringLiteral("cannot read %1").arg(path));
        plan = velqor::PlanFile::Read(file, options);
    }
    if (!plan.Ok())
        return fail(UsageError, QStringLiteral("%1: %2").arg(path, QString::fromStdString(plan.Error())));
    if (!open())
        return LinkError;
    if (!dryRun)
        catchEndSignals();
    try {
        manager->Search(timeoutMs, true, nullptr);
        if (const std::uint64_t lost = manager->GetLostCount())
            std::cerr << "orvane-cli: warning: " << lost
                      << " answers lost in the system's receive buffer; the plan's devices may not all be found: "
                         "search again"
                      << std::endl;
        std::set<std::string> links;
        for (const velqor::NetworkInterface &network : manager->GetInterfaces())
            links.insert(network.name);
        return runPlan(plan.Entries(), plan.Rows(manager->GetDeviceDetails(), links), format, dryRun, force,
                       plan.Skipped());
    } catch (const boost::system::system_error &error) {
        return linkFailure(error);
    }
}

int CommandLine::resume(std::uint32_t timeoutMs, DeviceFormatter::Format format)
{
    if (!open())
        return LinkError;
    catchEndSignals();
    try {
        manager->Search(timeoutMs, true, nullptr);
        std::vector<velqor::PlanFile::Entry> entries;
        std::vector<velqor::MovePlan::Row> rows;
        for (const velqor::Journal::Entry &kept : journal.Entries()) {
            const std::optional<velqor::DeviceDetails> found = manager->FindDevice(kept.device);
            if (found && (found->address == kept.planned || found->address == kept.original)) {
                journal.Remove(kept.device); // where it belongs: nothing to take on
                continue;
            }
            // Where the plan meant it to go; back home where that is taken.
            const bool taken = manager->AddressesBesides(kept.device).count(kept.planned) != 0;
            velqor::MovePlan::Row row {kept.device, taken ? kept.original : kept.planned, found, std::nullopt, {},
                                       false};
            if (!found)
                row.blocked = velqor::NotSentReason::NotFound;
            velqor::PlanFile::Entry entry;
            entry.serial = kept.device.serial;
            entry.address = row.to;
            entry.link = kept.device.link;
            entry.identity = velqor::PlanFile::Identity::SerialHex; // the journal holds the exact bytes
            entry.line = entries.size() + 1;
            entries.push_back(entry);
            rows.push_back(row);
        }
        if (rows.empty())
            return std::max<int>(Ok, print("nothing to resume: every device the journal held is where it belongs\n"));
        return runPlan(entries, rows, format, false, false);
    } catch (const boost::system::system_error &error) {
        return linkFailure(error);
    }
}

int CommandLine::runPlan(const std::vector<velqor::PlanFile::Entry> &entries, std::vector<velqor::MovePlan::Row> rows,
                         DeviceFormatter::Format format, bool dryRun, bool force,
                         const std::vector<velqor::PlanFile::Entry> &skipped)
{
    velqor::PlanRunner runner(*manager, safeguards());
    const velqor::MovePlan checked = runner.Prepare(std::move(rows), force);
    if (!dryRun && stopRequested)
        return fail(Interrupted, QStringLiteral("interrupted before anything was sent"));
    std::vector<velqor::RowResult> results;
    if (!dryRun) {
        velqor::PlanRunner::Control control;
        control.interrupted = [] { return stopRequested != 0; };
        results = runner.Run(checked, control);
    }
    std::vector<velqor::PlanReportRow> report =
        velqor::PlanReport(entries, checked.Rows(), dryRun ? nullptr : &results, force);
    velqor::AddSkipped(report, skipped);
    const int printed = print(DeviceFormatter::planReport(report, format));
    if (printed != Ok)
        return std::max<int>(Ok, printed);
    if (dryRun)
        return checked.Runnable() ? Ok : PlanNotReached;
    for (const velqor::RowResult &result : results) {
        if (result.kind == velqor::RowResult::Kind::NotSent &&
            result.outcome.reason == velqor::NotSentReason::LinkInUse)
            return fail(LinkInUse,
                        QStringLiteral("nothing was sent: %1")
                            .arg(QString::fromStdString(velqor::NotSentText(result.outcome))));
    }
    if (std::any_of(report.begin(), report.end(),
                    [](const velqor::PlanReportRow &row) { return row.status == "stranded"; }))
        return Stranded;
    if (stopRequested)
        return Interrupted;
    const bool reached =
        std::all_of(report.begin(), report.end(), [](const velqor::PlanReportRow &row) { return row.reached; });
    return reached ? Ok : PlanNotReached;
}

velqor::Ipv4Bytes CommandLine::oldAddress(const velqor::DeviceId &device) const
{
    const std::optional<velqor::DeviceDetails> known = manager->FindDevice(device);
    return known ? known->address : velqor::Ipv4Bytes {};
}

int CommandLine::report(const QString &name, const velqor::Ipv4Bytes &to, const velqor::Ipv4Bytes &from,
                        const velqor::ChangeOutcome &outcome, bool searched, bool forced)
{
    const QString newAddress = QString::fromStdString(velqor::FormatAddress(to));
    const QString oldAddress = QString::fromStdString(velqor::FormatAddress(from));
    switch (outcome.kind) {
    case velqor::ChangeOutcome::Kind::Moved:
        return std::max<int>(Ok,
                             print(QStringLiteral("%1 moved to %2 (%3)\n")
                                       .arg(name, newAddress,
                                            outcome.acknowledged ? QStringLiteral("acknowledged, found there")
                                                                 : QStringLiteral("found there"))
                                       .toUtf8()));
    case velqor::ChangeOutcome::Kind::Acknowledged:
        if (!searched)
            return std::max<int>(
                Ok,
                print(QStringLiteral("%1 moved to %2 (acknowledged; not searched)\n").arg(name, newAddress).toUtf8()));
        return fail(NotConfirmed, QStringLiteral("%1 acknowledged, but was not found at %2").arg(name, newAddress));
    case velqor::ChangeOutcome::Kind::AcknowledgedNotMoved:
        return fail(NotMoved, QStringLiteral("%1 acknowledged, but still answers at %2").arg(name, oldAddress));
    case velqor::ChangeOutcome::Kind::NoAnswer:
        if (!searched)
            return fail(NotConfirmed, QStringLiteral("%1: no answer within 1 s; not searched").arg(name));
        return fail(NotConfirmed, QStringLiteral("%1 did not answer and was not found at %2").arg(name, newAddress));
    case velqor::ChangeOutcome::Kind::Refused:
        return fail(Refused,
                    outcome.deviceCode
                        ? QStringLiteral("%1 refused with code %2").arg(name).arg(static_cast<int>(*outcome.deviceCode))
                        : QStringLiteral("%1 refused, without a code").arg(name));
    case velqor::ChangeOutcome::Kind::NotSent:
        break;
    }
    const QString why = QString::fromStdString(velqor::NotSentText(outcome));
    switch (outcome.reason) {
    case velqor::NotSentReason::Busy:
        return fail(LinkError, QStringLiteral("the device manager was busy"));
    case velqor::NotSentReason::SeveralAddresses:
        return fail(SeveralAddresses, QStringLiteral("serial %1 answered from several addresses").arg(name));
    case velqor::NotSentReason::NotFound:
        return fail(NotFound, QStringLiteral("no device %1 answered").arg(name));
    case velqor::NotSentReason::HeldByAnotherDevice:
        if (forced) // a device that stays where it is: no swap helps
            return fail(InvalidAddress, QStringLiteral("not sent to %1: %2 (%3)").arg(name, why, newAddress));
        return fail(InvalidAddress, QStringLiteral("not sent to %1: %2 (--force swaps the two)").arg(name, why));
    case velqor::NotSentReason::InUseByHost:
    case velqor::NotSentReason::OutsideSubnet:
        if (forced)
            return fail(InvalidAddress, QStringLiteral("not sent to %1: %2").arg(name, why));
        return fail(InvalidAddress, QStringLiteral("not sent to %1: %2 (--force moves it anyway)").arg(name, why));
    case velqor::NotSentReason::LinkDown:
        return fail(LinkError, QStringLiteral("not sent to %1: %2").arg(name, why));
    case velqor::NotSentReason::LinkInUse:
        return fail(LinkInUse, QStringLiteral("not sent to %1: %2").arg(name, why));
    default:
        return fail(InvalidAddress, QStringLiteral("not sent to %1: %2").arg(name, why));
    }
}

int CommandLine::watch(DeviceFormatter::Format format)
{
    if (!open())
        return LinkError;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
#ifdef SIGHUP
    // The terminal closed: end as asked to, not killed mid-line.
    std::signal(SIGHUP, requestStop);
#endif
    try {
        manager->Search(0, false, nullptr);
    } catch (const boost::system::system_error &error) {
        return linkFailure(error);
    }
    // What was reported of each device: work per poll grows with what
    // changed, not with the list.
    velqor::DeviceEvents events;
    bool first = true;
    int ended = Ok;
    auto lastWarned = std::chrono::steady_clock::now() - kLostWarningEvery;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // A reader that has gone is noticed even while nothing changes.
        if (stopRequested || readerGone()) {
            manager->StopSearch();
            QCoreApplication::exit(ended);
            return;
        }
        try {
            // The run ends only when it fails (its query never left).
            if (manager->WaitIdle(std::chrono::steady_clock::now())) {
                QCoreApplication::exit(LinkError);
                return;
            }
        } catch (const boost::system::system_error &error) {
            QCoreApplication::exit(linkFailure(error));
            return;
        }
        // Settled, so that a twin's second answer to the same query comes with it.
        for (const velqor::DeviceEvent &event :
             events.Take(manager->TakeGoneDevices(), manager->TakeChangedDevices(kSettle))) {
            const QString what = event.kind == velqor::DeviceEvent::Kind::Appeared ? QStringLiteral("appeared")
                : event.kind == velqor::DeviceEvent::Kind::Moved                   ? QStringLiteral("moved")
                                                                                   : QStringLiteral("gone");
            const int printed = print(DeviceFormatter::event(what, event.device, format, first));
            first = false;
            if (printed != Ok) {
                // The output cannot be written: quietly when its reader has gone.
                ended = std::max<int>(Ok, printed);
                stopRequested = 1;
                break;
            }
        }
        // Lost answers make present devices look gone: said, now and then.
        const std::uint64_t lost = manager->GetLostCount();
        const auto now = std::chrono::steady_clock::now();
        if (lost > 0 && now - lastWarned >= kLostWarningEvery) {
            std::cerr << "orvane-cli: warning: " << lost
                      << " answers to the last query lost in the system's receive buffer; devices may be reported "
                         "gone and back (raise net.core.rmem_max)"
                      << std::endl;
            lastWarned = now;
        }
    });
    poll.start(kPollEvery);
    return QCoreApplication::exec();
}
