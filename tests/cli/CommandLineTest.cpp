// orvane-cli as a script runs it, in the virtual LAN that
// tests/cli/CMakeLists.txt describes.

#include "Network.h"
#include "Protocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Outcome {
    int status;
    QByteArray out;
    QByteArray err;
};

// The program under test: this build's, or another build's (the Windows one
// under Wine runs these checks through a wrapper).
QString CliPath()
{
    return qEnvironmentVariable("ORVANE_CLI_UNDER_TEST", QStringLiteral(ORVANE_CLI));
}

// Whether the program is this system's own: some checks are of POSIX
// things (raw argument bytes, a pipe's hang-up seen without writing).
bool NativeProgram()
{
    return qEnvironmentVariableIsEmpty("ORVANE_CLI_UNDER_TEST");
}

Outcome Cli(const QStringList &arguments)
{
    QProcess process;
    process.start(CliPath(), arguments);
    process.waitForFinished(40000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Waits until the output so far holds text; the whole output read.
bool WaitFor(QProcess &process, QByteArray &output, const QByteArray &text, int ms)
{
    while (!output.contains(text)) {
        if (!process.waitForReadyRead(ms))
            return false;
        output += process.readAllStandardOutput();
    }
    return true;
}

} // namespace

TEST(CommandLineTest, ListsEveryDeviceInEachFormat)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const Outcome json = Cli({"list", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err.constData();
    EXPECT_TRUE(json.err.isEmpty()) << "no Qt platform warning or anything else: " << json.err.constData();
    const QJsonArray devices = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(devices.size(), 21);
    const QJsonObject binary = devices[0].toObject();
    EXPECT_EQ(binary["serial"].toString(), "\\x00\\xffA");
    EXPECT_EQ(binary["serial_hex"].toString(), "00ff41");
    EXPECT_EQ(binary["address"].toString(), "10.100.0.50");
    EXPECT_EQ(binary["interface"].toString(), "h0");
    EXPECT_EQ(binary["local_address"].toString(), "10.77.0.1/10");
    EXPECT_TRUE(binary["warnings"].toArray().isEmpty());

    const Outcome table = Cli({"list"});
    EXPECT_EQ(table.status, 0);
    EXPECT_TRUE(table.out.contains("\\x00\\xffA    10.100.0.50  h0 10.77.0.1/10")) << table.out.constData();
    const Outcome csv = Cli({"list", "--format", "csv"});
    EXPECT_EQ(csv.out.count("\r\n"), 22);
    EXPECT_TRUE(csv.out.contains("\\x00\\xffA,10.100.0.50,h0 10.77.0.1/10,00ff41,,h0,\r\n"));

    // Two devices that share a serial: one row that names both, counted twice.
    const QJsonObject twin = devices[std::find_if(devices.begin(), devices.end(),
                                                  [](const QJsonValue &d) { return d["serial"] == "TWIN"; }) -
                                     devices.begin()]
                                 .toObject();
    QStringList twinAddresses {twin["address"].toString(), twin["also_at"].toArray()[0].toString()};
    twinAddresses.sort();
    EXPECT_EQ(twinAddresses, (QStringList {"10.100.0.72", "10.100.0.73"}));
    EXPECT_EQ(twin["warnings"].toArray()[0].toString(), "several-addresses");
    EXPECT_TRUE(json.out.contains("\"serial\": \"M\xc3\xbcller\"")) << "UTF-8 as written, no mojibake";
}

TEST(CommandLineTest, AFirewallThatDropsTheAnswersIsNamedAsALikelyCause)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    ASSERT_EQ(
        std::system("nft add table inet orvtest && nft add chain inet orvtest in "
                    "'{ type filter hook input priority 0; }' && nft add rule inet orvtest in meta l4proto udp drop"),
        0);
    const Outcome found = Cli({"list"});
    ASSERT_EQ(std::system("nft delete table inet orvtest"), 0);
    EXPECT_EQ(found.status, 0);
    EXPECT_FALSE(found.out.contains("ORV")) << found.out.constData();
    EXPECT_TRUE(found.err.contains("searched on h0 10.77.0.1/10")) << found.err.constData();
    EXPECT_TRUE(found.err.contains("does a firewall block inbound UDP")) << found.err.constData();

    // The rule README gives, before the firewall's own: the devices answer.
    ASSERT_EQ(std::system("nft add table inet orvtest && nft add chain inet orvtest in "
                          "'{ type filter hook input priority 0; }' && "
                          "nft add rule inet orvtest in udp sport 4365 accept && "
                          "nft add rule inet orvtest in meta l4proto udp drop"),
              0);
    const Outcome allowed = Cli({"list"});
    ASSERT_EQ(std::system("nft delete table inet orvtest"), 0);
    EXPECT_TRUE(allowed.out.contains("ORV000000")) << allowed.err.constData();
}

TEST(CommandLineTest, TheDiagnosticLogIsSwitchedOnByOption)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const Outcome logged = Cli({"list", "--log-level", "info", "--timeout", "200"});
    EXPECT_EQ(logged.status, 0);
    EXPECT_TRUE(QString::fromUtf8(logged.err)
                    .contains(QRegularExpression(
                        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d+ info: OrvaneBase: searching on h0",
                        QRegularExpression::MultilineOption)))
        << logged.err.constData();
}

TEST(CommandLineTest, SetIpSaysHowTheChangeEnded)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const Outcome accepted = Cli({"set-ip", "hex:00ff41", "10.100.5.1"});
    EXPECT_EQ(accepted.status, 0) << accepted.err.constData();
    EXPECT_EQ(accepted.out, "\\x00\\xffA moved to 10.100.5.1 (acknowledged, found there)\n");
    const Outcome refused = Cli({"set-ip", "REF", "10.100.5.2"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_EQ(refused.err, "orvane-cli: REF refused with code -3\n");
    EXPECT_EQ(Cli({"set-ip", "SIL", "10.100.5.3"}).status, 7);
    EXPECT_EQ(Cli({"set-ip", "NOBODY", "10.100.5.4"}).status, 3);
    EXPECT_EQ(Cli({"set-ip", "REF", "224.0.0.1"}).status, 5);
}

TEST(CommandLineTest, SetIpMovesExactlyTheNamedSerial)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    // ORV\xff1 and ORV?1 both answer: a lossy argument would move the second.
    const Outcome escaped = Cli({"set-ip", "ORV\\xff1", "10.100.6.1"});
    EXPECT_EQ(escaped.status, 0) << escaped.err.constData();
    EXPECT_EQ(escaped.out, "ORV\\xff1 moved to 10.100.6.1 (acknowledged, found there)\n");
    if (NativeProgram()) { // Windows hands arguments over as UTF-16: no byte \xff comes raw
        QProcess raw; // the bytes as a terminal hands them over
        raw.start(QStringLiteral("/bin/sh"),
                  {"-c", QStringLiteral("exec \"%1\" set-ip \"$(printf 'ORV\\377\\061')\" 10.100.6.2").arg(CliPath())});
        raw.waitForFinished(20000);
        EXPECT_EQ(raw.exitCode(), 0) << raw.readAllStandardError().constData();
    }
    EXPECT_EQ(Cli({"set-ip", "Müller", "10.100.6.3"}).status, 0);
    const QJsonArray devices = QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array();
    for (const QJsonValue &device : devices) {
        if (device["serial"] == "ORV?1") {
            EXPECT_EQ(device["address"], "10.100.0.71") << "never moved";
        }
    }

    EXPECT_EQ(Cli({"set-ip", "-DASH", "10.100.6.4"}).status, 1) << "an option, not a serial";
    EXPECT_EQ(Cli({"set-ip", "--", "-DASH", "10.100.6.4"}).status, 0);
    for (const char *empty : {"", "hex:", "ORV\\"})
        EXPECT_EQ(Cli({"set-ip", empty, "10.100.6.5"}).status, 1) << empty;

    const Outcome taken = Cli({"set-ip", "REF", "10.100.0.62"});
    EXPECT_EQ(taken.status, 5);
    EXPECT_EQ(taken.err,
              "orvane-cli: not sent to REF: another device answers from that address (--force swaps the "
              "two)\n");
    EXPECT_EQ(Cli({"set-ip", "REF", "10.127.255.255"}).status, 5) << "h0's broadcast address";
    EXPECT_EQ(Cli({"set-ip", "REF", "10.77.0.1"}).status, 5) << "the workstation's own";
    EXPECT_EQ(Cli({"set-ip", "TWIN", "10.100.6.6"}).status, 4);

    const Outcome late = Cli({"set-ip", "LATE", "10.100.6.7", "--no-verify", "--timeout", "3000"});
    EXPECT_EQ(late.status, 7);
    EXPECT_EQ(late.err, "orvane-cli: LATE: no answer within 1 s; not searched\n");
}

// The serials "hex:41" and "A", "=X" and "'=X": what list shows of one, in
// any format, moves that one and never the other.
TEST(CommandLineTest, EveryTextOfASerialNamesItsOwnDevice)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    auto addressOf = [](const QString &hex) {
        for (const QJsonValue &device : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array()) {
            if (device["serial_hex"] == hex)
                return device["address"].toString();
        }
        return QString();
    };
    const QJsonArray devices = QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array();
    QString shown;
    for (const QJsonValue &device : devices) {
        if (device["serial_hex"] == "6865783a3431")
            shown = device["serial"].toString();
    }
    EXPECT_EQ(shown, "\\x68ex:41");
    EXPECT_EQ(Cli({"set-ip", shown, "10.100.8.1"}).status, 0);
    EXPECT_EQ(addressOf("6865783a3431"), "10.100.8.1");
    EXPECT_EQ(addressOf("41"), "10.100.0.81") << "hex:41 as text is not the hex form of A";

    // A spreadsheet's cell, as the CSV holds it, names its device.
    QString cell;
    for (const QByteArray &line : Cli({"list", "--format", "csv"}).out.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() > 3 && fields[3] == "3d58")
            cell = QString::fromUtf8(fields[0]);
    }
    EXPECT_EQ(cell, "\\x3dX");
    EXPECT_EQ(Cli({"set-ip", cell, "10.100.8.2"}).status, 0);
    EXPECT_EQ(addressOf("3d58"), "10.100.8.2");
    EXPECT_EQ(addressOf("273d58"), "10.100.0.83") << "'=X did not move";

    const Outcome tooLong = Cli({"set-ip", QString(1014, 'L'), "10.100.8.3"});
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_LT(tooLong.err.size(), 200) << "the serial is shortened in the message";
}

// Started by scripts/vlan --cell2 2 --device3 ORV000001@10.100.0.9: ORV000001
// answers on h0 and on h3, a card with h0's own address.
TEST(CommandLineTest, ASerialInTwoCellsIsNamedWithItsInterface)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const Outcome both = Cli({"set-ip", "ORV000001", "10.100.0.30"});
    EXPECT_EQ(both.status, 4);
    EXPECT_EQ(both.err, "orvane-cli: ORV000001 answers on several interfaces: h0, h3; choose one with --interface\n");
    const Outcome chosen = Cli({"set-ip", "ORV000001", "10.100.0.30", "--interface", "h3"});
    EXPECT_EQ(chosen.status, 0) << chosen.err.constData();
    EXPECT_EQ(Cli({"set-ip", "ORV000001", "10.100.0.31", "--interface", "h9"}).status, 3);
    QStringList listed;
    for (const QJsonValue &device : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array()) {
        listed << device["serial"].toString() + " " + device["interface"].toString() + " " +
                device["address"].toString() + " " + QString::number(device["warnings"].toArray().size());
    }
    EXPECT_EQ(listed,
              (QStringList {"CELL2-000000 h3 10.100.0.1 0", "CELL2-000001 h3 10.100.0.2 0", "ORV000000 h0 10.100.0.1 0",
                            "ORV000001 h0 10.100.0.2 0", "ORV000001 h3 10.100.0.30 0"}));
}

// The cable of the second cell is pulled while a swap there waits for
// SLOW3, which acknowledges 2 s late: ORV000001's next change leaves by no
// other card, and its twin behind h0 stays where it is.
TEST(CommandLineTest, CardDownMidRunLeavesTheTwinBehindTheOtherCard)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QTemporaryFile plan;
    ASSERT_TRUE(plan.open());
    plan.write("serial,address,interface\nORV000001,10.100.0.11,h3\nSLOW3,10.100.0.9,h3\n");
    plan.close();
    // Its search takes 1.5 s; SLOW3's step is sent at once after it.
    std::thread pull([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        velqor::test::SetLink("h3", false);
    });
    const Outcome applied = Cli({"apply", "--format", "csv", plan.fileName()});
    pull.join();
    std::map<QString, QString> onH0;
    for (const QJsonValue &device : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array())
        onH0[device["serial"].toString()] = device["address"].toString() + " " + device["interface"].toString();
    ASSERT_TRUE(velqor::test::SetLink("h3", true));
    EXPECT_NE(applied.status, 0) << applied.out.constData() << applied.err.constData();
    EXPECT_EQ(onH0["ORV000001"], "10.100.0.2 h0") << applied.out.constData() << applied.err.constData();
}

// Beside the devices, LIAR acknowledges every change from the address the
// change names: a change is what the device's own answers and the
// verifying search show.
TEST(CommandLineTest, AChangeIsDecidedByWhereTheDeviceEnds)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const Outcome stays = Cli({"set-ip", "STAY", "10.100.9.1"});
    EXPECT_EQ(stays.status, 9);
    EXPECT_EQ(stays.err, "orvane-cli: STAY acknowledged, but still answers at 10.100.0.77\n");
    const Outcome late = Cli({"set-ip", "LATEREF", "10.100.9.2"});
    EXPECT_EQ(late.status, 6) << "a refusal after the second's wait is a refusal";
    EXPECT_EQ(late.err, "orvane-cli: LATEREF refused with code -5\n");
    EXPECT_EQ(Cli({"set-ip", "REF", "10.100.9.3"}).status, 6) << "not LIAR's acknowledgement";

    const Outcome outside = Cli({"set-ip", "SWAPA", "8.8.8.8"});
    EXPECT_EQ(outside.status, 5);
    EXPECT_TRUE(outside.err.contains("outside the networks of the device's interface (--force moves it anyway)"));
    ASSERT_EQ(std::system("ip route add 198.18.0.0/15 via 10.77.0.254 dev h0"), 0);
    const Outcome gateway = Cli({"set-ip", "SWAPA", "10.77.0.254", "--force"});
    ASSERT_EQ(std::system("ip route del 198.18.0.0/15"), 0);
    EXPECT_EQ(gateway.status, 5);
    EXPECT_EQ(gateway.err, "orvane-cli: not sent to SWAPA: that is the gateway of a route of this workstation\n");
}

TEST(CommandLineTest, ForcedOntoAnotherDevicesAddressTheTwoSwap)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    auto addresses = [] {
        QStringList found;
        for (const QJsonValue &device : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array()) {
            if (QStringList {"SWAPA", "SWAPB", "REF"}.contains(device["serial"].toString()))
                found << device["serial"].toString() + " " + device["address"].toString();
        }
        return found;
    };
    const Outcome swapped = Cli({"set-ip", "SWAPA", "10.100.0.85", "--force"});
    EXPECT_EQ(swapped.status, 0) << swapped.err.constData();
    EXPECT_EQ(swapped.out,
              "SWAPA moved to 10.100.0.85 (acknowledged, found there)\n"
              "SWAPB moved to 10.100.0.84 (acknowledged, found there)\n");
    EXPECT_EQ(addresses(), (QStringList {"REF 10.100.0.60", "SWAPA 10.100.0.85", "SWAPB 10.100.0.84"}));

    // The second step fails: what moved goes back, and each says where it is.
    const Outcome refused = Cli({"set-ip", "SWAPA", "10.100.0.60", "--force"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_EQ(refused.err,
              "orvane-cli: SWAPA moved back to 10.100.0.85, since REF did not move\n"
              "orvane-cli: REF refused with code -3\n");
    EXPECT_EQ(addresses(), (QStringList {"REF 10.100.0.60", "SWAPA 10.100.0.85", "SWAPB 10.100.0.84"}));
}

// Where the last list found each of these serials.
std::map<QString, QString> AddressesOf(const QStringList &serials)
{
    std::map<QString, QString> found;
    for (const QJsonValue &device : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array()) {
        if (serials.contains(device["serial"].toString()))
            found[device["serial"].toString()] = device["address"].toString();
    }
    return found;
}

// A swap under way, started with its log on: the test acts once a device
// has been sent to the swap's temporary address.
struct SwapUnderWay {
    explicit SwapUnderWay(const QStringList &arguments)
    {
        process.setReadChannel(QProcess::StandardError);
        process.start(CliPath(), arguments + QStringList {"--log-level", "info"});
        while (!log.contains("a temporary address") && process.waitForReadyRead(10000))
            log += process.readAllStandardError();
    }
    bool parked() const { return log.contains("a temporary address"); }
    QProcess process;
    QByteArray log;
};

// Each of the signals that end a run, for set-ip and for a plan's swap.
TEST(CommandLineTest, ASignalMidSwapEndsWithEveryDeviceNamedWhereItIs)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"SWAPA", "SWAPB"});
    QTemporaryDir folder;
    QFile plan(folder.filePath(QStringLiteral("swap.csv")));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(("serial,address\nSWAPA," + before.at("SWAPB") + "\nSWAPB," + before.at("SWAPA") + "\n").toUtf8());
    plan.close();
    const struct {
        QStringList run;
        int signal;
    } table[] {
        {{"set-ip", "SWAPA", before.at("SWAPB"), "--force"}, SIGINT},
        {{"set-ip", "SWAPA", before.at("SWAPB"), "--force"}, SIGHUP},
        {{"apply", "--format", "csv", plan.fileName()}, SIGTERM},
    };
    for (const auto &c : table) {
        SCOPED_TRACE(c.run.join(' ').toStdString() + ", signal " + std::to_string(c.signal));
        SwapUnderWay swap(c.run);
        ASSERT_TRUE(swap.parked()) << swap.log.constData();
        ::kill(static_cast<pid_t>(swap.process.processId()), c.signal);
        ASSERT_TRUE(swap.process.waitForFinished(20000));
        const QByteArray out = swap.process.readAllStandardOutput();
        const QByteArray said = swap.log + swap.process.readAllStandardError() + out;
        EXPECT_EQ(swap.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(swap.process.exitCode(), 13) << said.constData();
        if (c.run.front() == QLatin1String("set-ip")) {
            EXPECT_TRUE(
                said.contains("SWAPA moved back to " + before.at("SWAPA").toUtf8() + ": the run was interrupted"))
                << said.constData();
            EXPECT_TRUE(said.contains("SWAPB was not moved: the run was interrupted")) << said.constData();
        } else {
            // Each row, and where its device is: back where it was.
            for (const QString &serial : {QStringLiteral("SWAPA"), QStringLiteral("SWAPB")}) {
                const QByteArray row = "," + serial.toUtf8() + ",h0," + before.at(serial).toUtf8() + ",";
                EXPECT_TRUE(out.contains(row)) << out.constData();
            }
            EXPECT_FALSE(out.contains(",moved,")) << out.constData();
        }
        EXPECT_EQ(AddressesOf({"SWAPA", "SWAPB"}), before) << "each at an address of its own, the one it had";
    }
}

TEST(CommandLineTest, ASecondProgramIsRefusedTheInterfaceASwapRunsOn)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    // LATE answers everything 1.2 s late: its swap takes seconds.
    const std::map<QString, QString> before = AddressesOf({"LATE", "SWAPB"});
    SwapUnderWay swap({"set-ip", "LATE", before.at("SWAPB"), "--force"});
    ASSERT_TRUE(swap.parked()) << swap.log.constData();
    QTemporaryFile plan; // a dry run takes no lock
    ASSERT_TRUE(plan.open());
    plan.write("serial,address\nREF,10.100.9.5\n");
    plan.close();
    EXPECT_EQ(Cli({"apply", "--dry-run", plan.fileName()}).status, 0);
    const Outcome second = Cli({"set-ip", "REF", "10.100.9.5"});
    EXPECT_EQ(second.status, 11) << second.err.constData();
    EXPECT_TRUE(second.err.startsWith("orvane-cli: not sent to REF: another program is changing addresses on the "
                                      "interface (h0 (pid "))
        << second.err.constData();
    EXPECT_TRUE(second.err.contains("orvane-cli set-ip LATE")) << second.err.constData();
    ASSERT_TRUE(swap.process.waitForFinished(20000));
    EXPECT_EQ(swap.process.exitCode(), 0) << swap.process.readAllStandardError().constData();
    EXPECT_EQ(AddressesOf({"REF"}).at("REF"), "10.100.0.60") << "REF was not moved";
}

TEST(CommandLineTest, ASwapKilledMidWayIsSaidByTheNextRunAndResumed)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"SWAPA", "SWAPB"});
    SwapUnderWay swap({"set-ip", "SWAPA", before.at("SWAPB"), "--force"});
    ASSERT_TRUE(swap.parked()) << swap.log.constData();
    QTest::qWait(300); // the device has moved: it moves on the command
    swap.process.kill(); // SIGKILL, or a power loss: nothing of it runs on
    ASSERT_TRUE(swap.process.waitForFinished(5000));
    const QString parked = AddressesOf({"SWAPA"}).at("SWAPA");
    ASSERT_NE(parked, before.at("SWAPA"));

    const Outcome next = Cli({"list"});
    EXPECT_TRUE(next.err.contains(("SWAPA on h0 may be stranded at " + parked + ": a run that moved it from " +
                                   before.at("SWAPA") + " to " + before.at("SWAPB") + " did not end")
                                      .toUtf8()))
        << next.err.constData();
    // SWAPA goes where the swap meant, or, where SWAPB never left, back home.
    const Outcome resumed = Cli({"apply", "--resume", "--format", "csv"});
    EXPECT_EQ(resumed.status, 0) << resumed.out.constData() << resumed.err.constData();
    EXPECT_TRUE(resumed.out.contains(",SWAPA,h0," + parked.toUtf8() + ",")) << resumed.out.constData();
    EXPECT_TRUE(resumed.out.contains(",moved,")) << resumed.out.constData();
    const std::map<QString, QString> swapped {{"SWAPA", before.at("SWAPB")}, {"SWAPB", before.at("SWAPA")}};
    const std::map<QString, QString> after = AddressesOf({"SWAPA", "SWAPB"});
    EXPECT_TRUE(after == before || after == swapped)
        << after.at("SWAPA").toStdString() << " " << after.at("SWAPB").toStdString();
    EXPECT_FALSE(Cli({"list"}).err.contains("SWAPA on h0 may be stranded")) << "crossed off";
}

TEST(CommandLineTest, SwapMessagesNameTheAddressTriedAndNoHintForWhatWasAsked)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    // SIL never answers: its first step, to the swap's temporary address, fails there.
    const std::map<QString, QString> before = AddressesOf({"SIL", "SWAPB"});
    const Outcome silent = Cli({"set-ip", "SIL", before.at("SWAPB"), "--force"});
    EXPECT_EQ(silent.status, 7) << silent.err.constData();
    EXPECT_TRUE(silent.err.startsWith("orvane-cli: SIL did not answer and was not found at 10.100.0."))
        << silent.err.constData();
    EXPECT_FALSE(silent.err.contains("not found at " + before.at("SWAPB").toUtf8())) << silent.err.constData();
    EXPECT_EQ(AddressesOf({"SIL", "SWAPB"}), before);
    // TWIN cannot move, so nothing swaps with it: forced already, no hint to force.
    const Outcome twin = Cli({"set-ip", "SWAPB", "10.100.0.72", "--force"});
    EXPECT_EQ(twin.status, 5);
    EXPECT_FALSE(twin.err.contains("--force")) << twin.err.constData();
}

// RESTART accepts a change and then answers nothing for 4 s, as a device
// does that restarts: the swap cannot be verified, and the device parked
// for it must not go home, where RESTART may be.
TEST(CommandLineTest, ASwapWhosePartnerRestartsLeavesNoTwoDevicesOnOneAddress)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"SWAPA", "RESTART"});
    const Outcome swap = Cli({"set-ip", "SWAPA", before.at("RESTART"), "--force"});
    EXPECT_EQ(swap.status, 12) << swap.out.constData() << swap.err.constData();
    EXPECT_TRUE(swap.err.contains("SWAPA was left at 10.100.0.")) << swap.err.constData();
    EXPECT_TRUE(swap.err.contains(("the temporary address of the swap: " + before.at("SWAPA") +
                                   " may be held by RESTART; orvane-cli apply --resume takes it on")
                                      .toUtf8()))
        << swap.err.constData();
    QTest::qWait(4000); // RESTART is back
    const std::map<QString, QString> during = AddressesOf({"SWAPA", "RESTART"});
    EXPECT_NE(during.at("SWAPA"), during.at("RESTART"));
    const Outcome resumed = Cli({"apply", "--resume"});
    EXPECT_EQ(resumed.status, 0) << resumed.out.constData() << resumed.err.constData();
    const std::map<QString, QString> swapped {{"SWAPA", before.at("RESTART")}, {"RESTART", before.at("SWAPA")}};
    EXPECT_EQ(AddressesOf({"SWAPA", "RESTART"}), swapped) << "the swap done, once RESTART was back";
}

// A cycle of three: CYB refuses its step, and CYC, which moved onto CYA's
// address, refuses to move back. CYA, parked, must not go home onto CYC.
TEST(CommandLineTest, ASwapCycleWhoseMoveBackIsRefusedLeavesEachDeviceNamed)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QTemporaryFile plan;
    ASSERT_TRUE(plan.open());
    plan.write("serial,address\nCYA,10.100.0.102\nCYB,10.100.0.103\nCYC,10.100.0.101\n");
    plan.close();
    const Outcome applied = Cli({"apply", "--format", "csv", plan.fileName()});
    EXPECT_EQ(applied.status, 12) << applied.out.constData() << applied.err.constData();
    const QList<QByteArray> rows = applied.out.split('\n');
    ASSERT_GE(rows.size(), 4);
    EXPECT_TRUE(rows[1].contains(",CYA,h0,10.100.0.101,10.100.0.102,stranded,")) << rows[1].constData();
    EXPECT_TRUE(rows[1].contains("10.100.0.101 may be held by CYC")) << rows[1].constData();
    EXPECT_TRUE(rows[2].contains(",CYB,h0,10.100.0.102,10.100.0.103,refused,")) << rows[2].constData();
    EXPECT_TRUE(rows[3].contains(",CYC,h0,10.100.0.103,10.100.0.101,moved,")) << rows[3].constData();
    const std::map<QString, QString> now = AddressesOf({"CYA", "CYB", "CYC"});
    EXPECT_EQ(now.at("CYB"), "10.100.0.102");
    EXPECT_EQ(now.at("CYC"), "10.100.0.101");
    EXPECT_NE(now.at("CYA"), "10.100.0.101") << "not onto CYC";
    EXPECT_NE(now.at("CYA"), "10.100.0.102");
}

// Where a hostile network leaves the two devices of a swap, the run says:
// each is where it was, where it was meant to go, or named where it is; a
// run that says it succeeded left both where they were meant to go; and no
// two devices answer from one address.
void ExpectEndsAsSaid(const Outcome &run, const std::map<QString, QString> &before,
                      const std::map<QString, QString> &planned)
{
    const QByteArray listed = Cli({"list", "--format", "json"}).out;
    std::map<QString, QString> now;
    QStringList addresses;
    for (const QJsonValue &device : QJsonDocument::fromJson(listed).array()) {
        now[device["serial"].toString()] = device["address"].toString();
        addresses << device["address"].toString();
        for (const QJsonValue &also : device["also_at"].toArray())
            addresses << also.toString();
    }
    const QByteArray said = run.out + run.err;
    EXPECT_EQ(addresses.removeDuplicates(), 0) << listed.constData() << said.constData();
    for (const auto &[serial, was] : before) {
        const QString at = now.count(serial) != 0 ? now.at(serial) : QStringLiteral("an address not found");
        if (run.status == 0) {
            EXPECT_EQ(at, planned.at(serial)) << serial.toStdString() << "\n" << said.constData();
        } else if (at != was && at != planned.at(serial)) {
            EXPECT_TRUE(said.contains((serial + " was left at " + at).toUtf8()))
                << serial.toStdString() << " at " << at.toStdString() << "\n"
                << said.constData();
        }
    }
}

std::map<QString, QString> Swapped(const std::map<QString, QString> &two)
{
    return {{two.begin()->first, std::next(two.begin())->second}, {std::next(two.begin())->first, two.begin()->second}};
}

// A second CLONE is off until the swap's first change for CLONE wakes it;
// then it answers from an address of its own: CLONE is not moved blind.
TEST(CommandLineTest, HostileCloneThatWakesMidWayEndsAsSaid)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"CLONE", "CLONEB"});
    const Outcome run = Cli({"set-ip", "CLONE", before.at("CLONEB"), "--force"});
    EXPECT_NE(run.status, 0) << "its serial answers from two addresses now";
    ExpectEndsAsSaid(run, before, Swapped(before));
}

// SLOWA acknowledges each change 3.5 s late, after the run stopped waiting.
TEST(CommandLineTest, HostileLateAcknowledgementEndsAsSaid)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"SLOWA", "SLOWB"});
    const Outcome run = Cli({"set-ip", "SLOWA", before.at("SLOWB"), "--force"});
    ExpectEndsAsSaid(run, before, Swapped(before));
}

// A late copy of COPYA's first change, to the swap's temporary address,
// arrives 0.4 s after its last: the run's last search finds it there.
TEST(CommandLineTest, HostileLateCopyOfAChangeEndsAsSaid)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    const std::map<QString, QString> before = AddressesOf({"COPYA", "COPYB"});
    const Outcome run = Cli({"set-ip", "COPYA", before.at("COPYB"), "--force"});
    EXPECT_NE(run.status, 0) << "moved back by the copy, not where it was meant to go";
    ExpectEndsAsSaid(run, before, Swapped(before));
}

TEST(CommandLineTest, WatchSeesDevicesComeAndGoAndEndsOnSigtermOrSighup)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QProcess watch;
    watch.start(CliPath(), {"watch", "--format", "json"});
    QByteArray output;
    ASSERT_TRUE(WaitFor(watch, output, "\"serial\":\"NET2-000000\"", 5000)) << output.constData();
    EXPECT_TRUE(output.contains("\"event\":\"appeared\""));
    EXPECT_EQ(Cli({"set-ip", "ORV000001", "10.100.5.9", "--no-verify"}).status, 0);
    EXPECT_TRUE(WaitFor(watch, output, "\"address\":\"10.100.5.9\"", 3000)) << output.constData();
    EXPECT_TRUE(output.contains("\"event\":\"moved\""));
    ASSERT_TRUE(velqor::test::SetLink("h1", false));
    const bool gone = WaitFor(watch, output, "\"event\":\"gone\"", 8000);
    ASSERT_TRUE(velqor::test::SetLink("h1", true));
    EXPECT_TRUE(gone) << output.constData();
    // Two devices that share a serial are said once, and never as moves; a
    // device that moved is not its own twin.
    QList<QByteArray> twin;
    for (const QByteArray &line : output.split('\n')) {
        if (line.contains("\"serial\":\"TWIN\""))
            twin << line;
        EXPECT_FALSE(line.contains("ORV000001") && line.contains("several-addresses")) << line.constData();
    }
    ASSERT_EQ(twin.size(), 1) << output.constData();
    EXPECT_TRUE(twin[0].contains("\"event\":\"appeared\"") && twin[0].contains("several-addresses"));
    watch.terminate(); // SIGTERM
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);

    QProcess hungUp; // its terminal closed
    hungUp.start(CliPath(), {"watch"});
    QByteArray lines;
    ASSERT_TRUE(WaitFor(hungUp, lines, "appeared", 5000));
    ::kill(static_cast<pid_t>(hungUp.processId()), SIGHUP);
    ASSERT_TRUE(hungUp.waitForFinished(5000));
    EXPECT_EQ(hungUp.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(hungUp.exitCode(), 0);
}

namespace {

// The port PROCESS listens on at ADDRESS, as its own network namespace shows it.
unsigned short PortOf(qint64 process, const char *address)
{
    const std::string proc = "/proc/" + std::to_string(process);
    std::set<std::string> sockets;
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(proc + "/fd", ignored)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ignored).string();
        if (target.rfind("socket:[", 0) == 0)
            sockets.insert(target.substr(8, target.size() - 9));
    }
    std::ifstream table(proc + "/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        // HEXADDRESS:HEXPORT, the address as the kernel stores it.
        if (local.size() == 13 && std::stoul(local.substr(0, 8), nullptr, 16) == ::inet_addr(address) &&
            sockets.count(inode))
            return static_cast<unsigned short>(std::stoul(local.substr(9), nullptr, 16));
    }
    return 0;
}

} // namespace

// A host behind h0 floods watch's port with invented serials and goes on
// inventing; a network whose devices then come up is reported all the same.
TEST(CommandLineTest, WatchAfterAFloodReportsADeviceThatStartsAnswering)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    ASSERT_TRUE(velqor::test::SetLink("h1", false));
    QProcess watch;
    watch.start(CliPath(), {"watch"});
    QByteArray output;
    ASSERT_TRUE(WaitFor(watch, output, "ORV000000", 5000)) << output.constData();
    const unsigned short port = PortOf(watch.processId(), "10.77.0.1");
    ASSERT_NE(port, 0);

    std::atomic<bool> flooding {true};
    std::atomic<bool> entered {false};
    std::thread flood([&] {
        // From a device namespace, so that the flood comes in by h0.
        const std::string name = "/run/netns/" + qEnvironmentVariable("ORVANE_VLAN_ID").toStdString() + "-d0";
        const int space = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (space < 0 || ::setns(space, CLONE_NEWNET) != 0)
            return;
        ::close(space);
        const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in from {};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = ::inet_addr("10.100.0.200");
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ::inet_addr("10.77.0.1");
        to.sin_port = htons(port);
        if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0)
            return;
        entered = true;
        for (int serial = 0; flooding; ++serial) {
            const std::string reply = velqor::QueryReply("FLOOD" + std::to_string(serial));
            ::sendto(socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            if (serial % 500 == 499)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::close(socket);
    });
    // Read line by line, as the output grows large.
    qsizetype parsed = 0;
    int invented = 0;
    bool heard = false;
    const auto readFor = [&](const std::function<bool()> &done, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms && watch.waitForReadyRead(ms)) {
            output += watch.readAllStandardOutput();
            for (qsizetype end; (end = output.indexOf('\n', parsed)) >= 0; parsed = end + 1) {
                const std::string_view line(output.constData() + parsed, static_cast<std::size_t>(end - parsed));
                invented += line.find("appeared") != line.npos && line.find("FLOOD") != line.npos;
                heard = heard || line.find("NET2-000000") != line.npos;
            }
        }
        return done();
    };
    // The list holds 65,536, ORV000000 among them.
    const bool full = readFor([&] { return invented >= 65535; }, 40000);
    const bool up = velqor::test::SetLink("h1", true);
    QElapsedTimer sinceUp;
    sinceUp.start();
    // Three rounds, and the round in which h1 is found.
    readFor([&] { return heard; }, 10000);
    std::cout << "NET2-000000 reported " << sinceUp.elapsed() << " ms after h1 came up, " << invented
              << " invented serials reported" << std::endl;
    flooding = false;
    flood.join();
    watch.terminate();
    EXPECT_TRUE(watch.waitForFinished(5000));
    ASSERT_TRUE(entered) << "the flood could not be sent from " << qPrintable(qEnvironmentVariable("ORVANE_VLAN_ID"));
    ASSERT_TRUE(full) << "the flood did not reach watch";
    ASSERT_TRUE(up);
    EXPECT_TRUE(heard) << "a full list kept out a device that answers";
}

TEST(CommandLineTest, BadArgumentsAreOneLineAndStatus1BeforeAnythingIsOpened)
{
    const QString log = QDir::temp().filePath(QStringLiteral("orvane-cli-bad-%1.log").arg(getpid()));
    const std::vector<QStringList> table {
        {"list", "--force"},
        {"watch", "--interface", "h0"},
        {"list", "--no-verify"},
        {"set-ip", "A", "10.100.9.9", "--format", "json"},
        {"watch", "--timeout", "100"},
        {"list", "--log-level", "garbage"},
        {"list", "--log-file", "/nonexistent-folder/x.log"},
        {"list", "--log-file", log, "--log-level", "debug", "--format", "xml"},
        {"list", "--timeout", "0"},
        {"list", "extra"},
        {"--bogus"},
        {"apply", "--interface", "h0", "plan.csv"},
        {"list", "--dry-run"},
        {"apply", "/nonexistent-folder/plan.csv"},
    };
    for (const QStringList &arguments : table) {
        const Outcome outcome = Cli(arguments);
        EXPECT_EQ(outcome.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(outcome.err.count('\n'), 1) << arguments.join(' ').toStdString() << ": " << outcome.err.constData();
        EXPECT_TRUE(outcome.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(log)) << "the log file is opened only once every argument is good";
    QProcess fromEnvironment;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVANE_LOG_LEVEL"), QStringLiteral("garbage"));
    fromEnvironment.setProcessEnvironment(environment);
    fromEnvironment.start(CliPath(), {"list"});
    ASSERT_TRUE(fromEnvironment.waitForFinished(5000));
    EXPECT_EQ(fromEnvironment.exitCode(), 1);
    // As Windows programs take it: help, not a usage error.
    const Outcome help = Cli({"/?"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage:")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("apply PLAN"));
}

TEST(CommandLineTest, AnOutputThatCannotBeWrittenIsAnErrorAndEndsWatch)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    for (const QStringList &arguments : {QStringList {"list"}, QStringList {"watch"}}) {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(CliPath(), arguments);
        ASSERT_TRUE(process.waitForFinished(10000)) << arguments.join(' ').toStdString() << " went on";
        EXPECT_EQ(process.exitCode(), 8) << arguments.join(' ').toStdString();
        EXPECT_TRUE(process.readAllStandardError().contains("cannot write to standard output: No space left"));
    }
    const Outcome log = Cli({"list", "--log-level", "info", "--log-file", "/dev/full"});
    EXPECT_EQ(log.status, 8) << "a diagnostic log that could not be written";
    QProcess closed; // standard output closed before the program started
    closed.start(QStringLiteral("bash"), {"-c", QStringLiteral("'%1' list >&-").arg(CliPath())});
    ASSERT_TRUE(closed.waitForFinished(10000));
    EXPECT_EQ(closed.exitCode(), 8);
    EXPECT_TRUE(closed.readAllStandardError().contains("cannot write to standard output: Bad file descriptor"));
}

TEST(CommandLineTest, AReaderThatGoesAwayEndsTheRunQuietly)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    // watch notices while nothing changes (one device, one line); list ends
    // alike in every format. Under Wine the pipe is a POSIX one, whose
    // hang-up a Windows program sees only by writing: there a device moves
    // once the reader has gone, and watch's next line finds it so.
    const QString watch = NativeProgram()
        ? QStringLiteral("'%1' watch --target 10.100.0.50 | head -n 1 >/dev/null; s=${PIPESTATUS[0]};")
        : QStringLiteral("t=$(mktemp); { '%1' watch | head -n 1 >/dev/null;"
                         " echo ${PIPESTATUS[0]}; } >$t & w=$!; sleep 4;"
                         " '%1' set-ip hex:00ff41 10.100.7.50 >/dev/null 2>&1; wait $w; s=$(cat $t); rm -f $t;");
    const QString script = (watch +
                            QStringLiteral("for f in table json csv; do '%1' list --format $f | head -c 1 >/dev/null;"
                                           " s=\"$s ${PIPESTATUS[0]}\"; done; echo $s"))
                               .arg(CliPath());
    QProcess shell;
    shell.start(QStringLiteral("bash"), {"-c", script});
    ASSERT_TRUE(shell.waitForFinished(40000)) << "a writer outlived its reader";
    EXPECT_EQ(shell.readAllStandardOutput(), "0 0 0 0\n");
    EXPECT_EQ(shell.readAllStandardError(), "");
}

// Started by scripts/vlan with PAUSE, which answers no query for 3.2 s from
// 3 s on: watch reports it gone, or not, but ends with it there.
TEST(CommandLineTest, WatchEndsWithAPausedDeviceThereAndEndsAtOnce)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QProcess watch;
    watch.start(CliPath(), {"watch", "--format", "csv"});
    QByteArray output;
    ASSERT_TRUE(WaitFor(watch, output, "PAUSE", 5000));
    for (QElapsedTimer waited; !waited.isValid() || waited.elapsed() < 12000;) {
        if (!waited.isValid())
            waited.start();
        watch.waitForReadyRead(100);
        output += watch.readAllStandardOutput();
    }
    QElapsedTimer clock;
    clock.start();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 700) << "watch ends at once, not after the wait for late answers";
    QByteArray last;
    for (const QByteArray &line : output.split('\n')) {
        if (line.contains(",PAUSE,"))
            last = line;
    }
    EXPECT_TRUE(last.startsWith("appeared,")) << output.constData();
}

// 250 devices and one that refuses (FAIL), in a virtual LAN of their own
// whose simulator records what it receives.
TEST(CommandLineTest, ApplyCarriesOutAPlanWithCyclesAndAFailingChain)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto device = [](int number) { return QStringLiteral("ORV%1").arg(number, 6, 10, QLatin1Char('0')); };
    const auto at = [](int number) { return QStringLiteral("10.100.%1.%2").arg(number / 254).arg(number % 254 + 1); };
    std::map<QString, QString> planned; // serial to where it ends
    QString plan = QStringLiteral("serial,address,note\r\n");
    const auto row = [&](const QString &serial, const QString &to, const QString &end) {
        plan += serial + "," + to + ",\"a, note\"\r\n";
        planned[serial] = end;
    };
    // A cycle of three, a swap, devices that stay, and a chain whose first
    // move is refused: FAIL to a free address, 5 to FAIL's, 6 to 5's.
    row(device(0), at(1), at(1));
    row(device(1), at(2), at(2));
    row(device(2), at(0), at(0));
    row(device(3), at(4), at(4));
    row(device(4), at(3), at(3));
    row(QStringLiteral("FAIL"), QStringLiteral("10.100.3.2"), QStringLiteral("10.100.3.1"));
    row(device(5), QStringLiteral("10.100.3.1"), at(5));
    row(device(6), at(5), at(6));
    for (int number = 7; number < 250; ++number) {
        const QString to = number < 10 ? at(number) : QStringLiteral("10.100.9.%1").arg(number);
        row(device(number), to, to);
    }
    QFile file(folder.filePath(QStringLiteral("plan.csv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(plan.toUtf8());
    file.close();

    const auto sentChanges = [] {
        QFile record(qEnvironmentVariable("ORVANE_VLAN_RECORD"));
        return record.open(QIODevice::ReadOnly) ? record.readAll().count("515653495043") : -1; // QVSIPC
    };
    const int sentBefore = sentChanges(); // the record grows from run to run
    ASSERT_GE(sentBefore, 0);
    const Outcome dry = Cli({"apply", "--dry-run", "--format", "json", file.fileName()});
    EXPECT_EQ(dry.status, 0) << dry.err.constData();
    const QJsonArray rows = QJsonDocument::fromJson(dry.out).array();
    ASSERT_EQ(rows.size(), 251);
    EXPECT_EQ(rows[0]["status"].toString(), "will-move");
    EXPECT_EQ(rows[0]["line"].toInt(), 2);
    EXPECT_EQ(rows[9]["status"].toString(), "already-there");
    EXPECT_EQ(sentChanges(), sentBefore) << "a dry run sends no change";
    // A row that cannot run makes the dry run fail, and still sends nothing.
    QFile unrunnable(folder.filePath(QStringLiteral("unrunnable.csv")));
    ASSERT_TRUE(unrunnable.open(QIODevice::WriteOnly));
    unrunnable.write("serial,address\nORV000001,10.100.9.1\nNOSUCH,10.100.9.2\n");
    unrunnable.close();
    const Outcome stopped = Cli({"apply", "--dry-run", unrunnable.fileName()});
    EXPECT_EQ(stopped.status, 10);
    EXPECT_TRUE(stopped.out.contains("not-sent")) << stopped.out.constData();
    EXPECT_EQ(sentChanges(), sentBefore);

    const Outcome applied = Cli({"apply", "--format", "csv", file.fileName()});
    EXPECT_EQ(applied.status, 10) << applied.err.constData();
    const QList<QByteArray> report = applied.out.split('\n');
    ASSERT_GE(report.size(), 252) << applied.out.constData();
    EXPECT_EQ(report[0], "line,serial,interface,from,to,status,detail,serial_hex,ended_at,identified_by\r");
    EXPECT_TRUE(report[6].startsWith("7,FAIL,h0,10.100.3.1,10.100.3.2,refused,refused with code -7,"))
        << report[6].constData();
    EXPECT_TRUE(report[7].startsWith(
        "8,ORV000005,h0,10.100.0.6,10.100.3.1,not-run,\"waited for FAIL (line 7), which did not move\","))
        << report[7].constData();
    EXPECT_TRUE(report[8].contains(",not-run,\"waited for ORV000005 (line 8),")) << report[8].constData();
    EXPECT_EQ(applied.out.count(",moved,"), 245);
    EXPECT_EQ(applied.out.count(",already-there,"), 3);
    EXPECT_GE(sentChanges(), sentBefore + 246) << "the record sees the changes";

    std::map<QString, QString> found;
    for (const QJsonValue &listed : QJsonDocument::fromJson(Cli({"list", "--format", "json"}).out).array())
        found[listed["serial"].toString()] = listed["address"].toString();
    EXPECT_EQ(found, planned);
}

// A list saved as a workbook is a plan of its devices, each row naming its
// device by serial_hex; a serial a spreadsheet may have rewritten, or an
// interface of another workstation, is refused or named with where it is.
TEST(CommandLineTest, AListedWorkbookIsAPlanOfItsDevices)
{
    QTemporaryDir folder;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const Outcome listed = Cli({"list", "--format", "xlsx"});
    ASSERT_EQ(listed.status, 0) << listed.err.constData();
    const Outcome dry = Cli({"apply", "--dry-run", "--format", "json", write("devices.xlsx", listed.out)});
    EXPECT_EQ(dry.status, 10) << "TWIN answers from two addresses: it cannot run";
    const QJsonArray rows = QJsonDocument::fromJson(dry.out).array();
    EXPECT_GE(rows.size(), 10) << dry.out.constData();
    for (const QJsonValue &row : rows) {
        const bool twin = row["serial"].toString() == QLatin1String("TWIN");
        EXPECT_EQ(row["status"].toString(), twin ? "not-sent" : "already-there")
            << row["serial"].toString().toStdString();
        EXPECT_EQ(row["identified_by"].toString(), "serial_hex");
    }

    const Outcome numeric = Cli({"apply", "--dry-run", write("numeric.csv", "serial,address\n123,10.100.0.9\n")});
    EXPECT_EQ(numeric.status, 1);
    EXPECT_TRUE(numeric.err.contains("line 2: serial \"123\" reads as a number")) << numeric.err.constData();
    EXPECT_TRUE(numeric.err.contains("or give --force if the serials are right")) << numeric.err.constData();
    const Outcome foreign =
        Cli({"apply", "--dry-run", write("foreign.csv", "serial,address,interface\nA,10.100.0.81,eth9\n")});
    EXPECT_EQ(foreign.status, 10);
    EXPECT_TRUE(foreign.out.contains("this workstation has no such interface (eth9; the serial answers on h0)"))
        << foreign.out.constData();
    EXPECT_EQ(Cli({"apply", "--sheet", "Plan", folder.filePath("foreign.csv")}).status, 1);
    EXPECT_EQ(Cli({"watch", "--format", "xlsx"}).status, 1);
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // never the user's settings
    // Nor the user's journal: the programs started here keep theirs here.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
