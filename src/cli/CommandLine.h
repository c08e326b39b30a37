#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "ChangeOutcome.h"
#include "ChangeTransaction.h"
#include "DeviceFormatter.h"
#include "DeviceId.h"
#include "Journal.h"
#include "LinkTarget.h"
#include "MovePlan.h"
#include "PlanFile.h"
#include "Serial.h"

#include <QStringList>

#include <boost/system/system_error.hpp>

#include <memory>

namespace velqor {
class OrvaneManager;
}

// orvane-cli: list, set-ip, watch and apply over the device manager, for
// scripts and for machines without a display.
class CommandLine {
public:
    // Exit statuses, documented in --help, the man page and README.md.
    enum Status {
        Ok = 0,
        UsageError = 1,
        LinkError = 2,
        NotFound = 3,
        SeveralAddresses = 4,
        InvalidAddress = 5,
        Refused = 6,
        NotConfirmed = 7,
        OutputError = 8,
        NotMoved = 9,
        PlanNotReached = 10,
        LinkInUse = 11,
        Stranded = 12,
        Interrupted = 13,
    };

    CommandLine();
    ~CommandLine();

    // Runs one command; needs a QCoreApplication.
    int run(const QStringList &arguments);
    // Called first thing in main: a standard stream that the caller closed
    // is held by /dev/null, so that no socket or file opened later takes its
    // number, and a closed standard output makes every write an error; a
    // reader that goes away is a write error (EPIPE), not a signal.
    static void guardStandardStreams();
    // The process's arguments without a byte lost: where the system hands
    // over bytes that are not UTF-8, they come in the serial's display form.
    static QStringList arguments(int argc, char **argv);

private:
    int list(std::uint32_t timeoutMs, DeviceFormatter::Format format);
    int setIp(const QString &serialText, const QString &addressText, const QString &link, std::uint32_t timeoutMs,
              bool verify, bool force);
    int watch(DeviceFormatter::Format format);
    int apply(const QString &path, const QString &sheet, std::uint32_t timeoutMs, DeviceFormatter::Format format,
              bool dryRun, bool force);
    // apply --resume: the devices the journal holds, taken where it says.
    int resume(std::uint32_t timeoutMs, DeviceFormatter::Format format);
    // Runs a plan's rows as one transaction (journal, interface locks, a
    // last search) and prints its report, with the rows it skipped; the exit
    // status says how it ended.
    int runPlan(const std::vector<velqor::PlanFile::Entry> &entries, std::vector<velqor::MovePlan::Row> rows,
                DeviceFormatter::Format format, bool dryRun, bool force,
                const std::vector<velqor::PlanFile::Entry> &skipped = {});
    // What a transaction keeps safe beyond this process.
    velqor::ChangeTransaction::Safeguards safeguards();
    // Says which devices an earlier run may have left on a temporary
    // address, where no program runs on their interface now.
    void warnAboutJournal() const;
    // Opens the device link; false (and a line on stderr) when it cannot.
    bool open();
    // Says how one device's change ended, on stdout when it moved, else on
    // stderr; returns the exit status that says it. searched: a search
    // looked for it.
    int report(const QString &name, const velqor::Ipv4Bytes &to, const velqor::Ipv4Bytes &from,
               const velqor::ChangeOutcome &outcome, bool searched, bool forced = false);
    velqor::Ipv4Bytes oldAddress(const velqor::DeviceId &device) const;
    static int fail(int status, const QString &message);
    // Writes to standard output: Ok; ReaderGone when the reader has gone
    // (the run then ends quietly, status 0); else OutputError, said on stderr.
    static int print(const QByteArray &bytes);
    static constexpr int ReaderGone = -1;
    static int linkFailure(const boost::system::system_error &error);

    velqor::LinkTarget target;
    // The command as given, for the message of another program that finds
    // an interface held.
    QString commandText;
    velqor::Journal journal {velqor::Journal::DefaultPath()};
    std::unique_ptr<velqor::OrvaneManager> manager;
};

#endif // COMMANDLINE_H
