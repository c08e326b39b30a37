// orvane-cli as a script runs it, in the virtual LAN that
// tests/cli/CMakeLists.txt describes.

#include "Network.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Outcome {
    int status;
    QByteArray out;
    QByteArray err;
};

Outcome Cli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ORVANE_CLI), arguments);
    process.waitForFinished(20000);
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
    ASSERT_EQ(devices.size(), 7);
    const QJsonObject binary = devices[0].toObject();
    EXPECT_EQ(binary["serial"].toString(),
              QString::fromLatin1("\x00\xff"
                                  "A",
                                  3));
    EXPECT_EQ(binary["serial_hex"].toString(), "00ff41");
    EXPECT_EQ(binary["address"].toString(), "10.100.0.50");
    EXPECT_EQ(binary["interface"].toString(), "h0");
    EXPECT_EQ(binary["local_address"].toString(), "10.77.0.1/10");
    EXPECT_TRUE(binary["warnings"].toArray().isEmpty());

    const Outcome table = Cli({"list"});
    EXPECT_EQ(table.status, 0);
    EXPECT_TRUE(table.out.contains("\\x00\\xffA    10.100.0.50  h0 10.77.0.1/10")) << table.out.constData();
    const Outcome csv = Cli({"list", "--format", "csv"});
    EXPECT_EQ(csv.out.count("\r\n"), 8);
    EXPECT_TRUE(csv.out.contains(",10.100.0.50,h0 10.77.0.1/10,00ff41\r\n"));
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

TEST(CommandLineTest, WatchSeesDevicesComeAndGoAndEndsOnSigterm)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    QProcess watch;
    watch.start(QStringLiteral(ORVANE_CLI), {"watch", "--format", "json"});
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
    watch.terminate(); // SIGTERM
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
