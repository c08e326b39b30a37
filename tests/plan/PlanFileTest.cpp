// A commissioning plan read from CSV and checked, as apply and the window's
// import do before anything is sent: no network.

#include "PlanFile.h"
#include "PlanReport.h"

#include <gtest/gtest.h>

using namespace velqor;

namespace {

const NetworkInterface kCellOne {"eth0", 2, {10, 0, 0, 1}, 24};
const NetworkInterface kCellTwo {"eth1", 3, {10, 0, 0, 1}, 24};

DeviceDetails Found(const std::string &serial, unsigned char last, const NetworkInterface &via = kCellOne)
{
    DeviceDetails device;
    device.serial = Serial(serial);
    device.address = {10, 0, 0, last};
    device.via = via;
    return device;
}

} // namespace

TEST(PlanFileTest, BadPlansAreRefusedWithTheirLine)
{
    const std::string big(PlanFile::kMaxBytes + 1, 'x');
    const char elf[] = "serial,address\nA,10.0.0.2\n\x7f"
                       "ELF\x02\x00\x01";
    std::string tooMany = "serial,address\n";
    for (std::size_t row = 0; row <= PlanFile::kMaxRows; ++row)
        tooMany += "S" + std::to_string(row) + ",10.0.0.9\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "the plan is empty"},
        {"\n\n", "the plan is empty"},
        {"serial,where\nA,10.0.0.2\n", "line 1: no address column"},
        {"\nname,address\nA,10.0.0.2\n", "line 2: no serial column"},
        {"serial,address\nA,10.0.0.2\nB,10.0.0\n", "line 3: \"10.0.0\" is not an IPv4 address"},
        {"serial,address\nA,\n", "line 2: no address"},
        {"serial,address\n,10.0.0.2\n", "line 2: no serial"},
        {"serial,address\nA\\q,10.0.0.2\n", "line 2: serial \"A\\x5cq\" does not parse"},
        {"serial_hex,address\n4g,10.0.0.2\n", "line 2: serial_hex \"4g\" is not pairs of hex digits"},
        {"serial,serial_hex,address\nA,42,10.0.0.2\n", "line 2: serial \"A\" and serial_hex \"42\" name different"},
        {"serial,address\nA,10.0.0.2\n\"B\nC\",10.0.0.3\nA,10.0.0.4\n",
         "line 5: serial A is planned twice (also on line 2)"},
        {"serial,address,interface\nA,10.0.0.2,eth0\nA,10.0.0.3,\n", "line 3: serial A is planned twice"},
        {"serial,address\n\"A,10.0.0.2\n", "line 2: a quoted cell is not closed"},
        {"serial,address\n\"A\"x,10.0.0.2\n", "line 2: text after a closing quote: not a CSV file"},
        {std::string(elf, sizeof elf - 1), "line 3: holds a NUL byte: not a CSV file"},
        {big, "the plan is larger than 32 MiB"},
        {tooMany, "line 65538: more than 65536 rows"},
    };
    for (const auto &test : cases) {
        const PlanFile plan = PlanFile::Parse(test.text);
        EXPECT_FALSE(plan.Ok()) << test.error;
        EXPECT_EQ(plan.Error().rfind(test.error, 0), 0u) << plan.Error();
        EXPECT_TRUE(plan.Entries().empty());
    }
}

TEST(PlanFileTest, ReadsWhatSpreadsheetsAndTheListsExportWrite)
{
    // A list exported with --format csv, then edited: its serial cells, the
    // hex column, other columns ignored, CRLF.
    const PlanFile exported = PlanFile::Parse("serial,address,network,serial_hex,also_at,interface,warnings\r\n"
                                              "\\x3dX,10.0.0.20,eth0 10.0.0.1/24,3d58,,eth0,\r\n"
                                              "\"A,B\",10.0.0.21,eth0 10.0.0.1/24,,,,\r\n"
                                              "h\xc3\xa9,10.0.0.22,,68c3a9,,eth1,\r\n");
    ASSERT_TRUE(exported.Ok()) << exported.Error();
    ASSERT_EQ(exported.Entries().size(), 3u);
    EXPECT_EQ(exported.Entries()[0].serial, Serial("=X"));
    EXPECT_EQ(exported.Entries()[0].link, "eth0");
    EXPECT_EQ(exported.Entries()[1].serial, Serial("A,B"));
    EXPECT_EQ(exported.Entries()[1].address, (Ipv4Bytes {10, 0, 0, 21}));
    EXPECT_EQ(exported.Entries()[1].line, 3u);
    EXPECT_EQ(exported.Entries()[2].serial, Serial("h\xc3\xa9"));
    // serial_hex decides when both are there... and they must agree.
    EXPECT_FALSE(PlanFile::Parse("serial,serial_hex,address\nB,41,10.0.0.2\n").Ok());
    const PlanFile hexOnly = PlanFile::Parse("serial_hex,address\n00ff41,10.0.0.2\n");
    ASSERT_TRUE(hexOnly.Ok());
    EXPECT_EQ(hexOnly.Entries()[0].serial, Serial(std::string("\0\xff\x41", 3)));

    // A spreadsheet of a decimal-comma locale: semicolons, a byte-order
    // mark, header names in capitals, blank lines and spaces around cells.
    const PlanFile localised = PlanFile::Parse("\xef\xbb\xbfSerial;Address;Interface\n\n ORV1 ; 10.0.0.7 ; eth1\n;;\n");
    ASSERT_TRUE(localised.Ok()) << localised.Error();
    ASSERT_EQ(localised.Entries().size(), 1u);
    EXPECT_EQ(localised.Entries()[0].line, 3u);
    EXPECT_EQ(localised.Entries()[0].link, "eth1");
    EXPECT_EQ(localised.Entries()[0].address, (Ipv4Bytes {10, 0, 0, 7}));

    // The same serial on two named interfaces is two devices.
    EXPECT_TRUE(PlanFile::Parse("serial,address,interface\nA,10.0.0.2,eth0\nA,10.0.0.3,eth1\n").Ok());
}

// The plan against what a search found, checked as a dry run reports it.
TEST(PlanFileTest, EachRowIsCheckedAgainstTheDevicesFound)
{
    const std::vector<DeviceDetails> devices {Found("A", 10),
                                              Found("B", 11),
                                              Found("C", 12),
                                              Found("TWIN", 13),
                                              Found("TWIN", 13, kCellTwo),
                                              Found("D", 14),
                                              Found("T2", 15),
                                              Found("T2", 15, kCellTwo),
                                              Found("C2", 16)};
    const PlanFile plan = PlanFile::Parse("serial,address,interface\n"
                                          "A,10.0.0.11,\n" // a cycle of three: A to B's,
                                          "B,10.0.0.12,\n" // B to C's,
                                          "C,10.0.0.10,\n" // C to A's
                                          "TWIN,10.0.0.30,\n" // on two interfaces, none named
                                          "T2,10.0.0.31,eth1\n" // on two, one named
                                          "GONE,10.0.0.32,\n" // not found
                                          "D,10.0.0.14,\n" // there already
                                          "E,10.0.0.33,eth9\n" // not on that interface
                                          "C2,10.0.0.40,eth1\n"); // C2 is not on eth1
    ASSERT_TRUE(plan.Ok()) << plan.Error();
    AddressFacts facts;
    facts.own = {kCellOne, kCellTwo};
    MovePlan checked(plan.Rows(devices), devices, facts, {}, false);
    checked.Order({{"eth0", {{10, 0, 0, 200}}}, {"eth1", {{10, 0, 0, 200}}}});
    const std::vector<PlanReportRow> report = PlanReport(plan.Entries(), checked.Rows(), nullptr);
    std::vector<std::string> statuses;
    for (const PlanReportRow &row : report)
        statuses.push_back(row.status + (row.detail.empty() ? "" : ": " + row.detail.substr(0, 18)));
    EXPECT_EQ(statuses,
              (std::vector<std::string> {"will-move", "will-move", "will-move", "not-sent: the serial answers",
                                         "will-move", "not-sent: no device with tha", "already-there",
                                         "not-sent: no device with tha", "not-sent: no device with tha"}));
    EXPECT_EQ(report[4].link, "eth1");
    EXPECT_EQ(report[0].from, "10.0.0.10");
    EXPECT_EQ(report[6].line, 8u);
    EXPECT_FALSE(checked.Runnable());

    // Two rows onto one address: neither runs.
    const PlanFile twice = PlanFile::Parse("serial,address\nA,10.0.0.50\nB,10.0.0.50\n");
    MovePlan clash(twice.Rows(devices), devices, facts, {}, false);
    clash.Order();
    for (const PlanReportRow &row : PlanReport(twice.Entries(), clash.Rows(), nullptr))
        EXPECT_EQ(row.status, "not-sent") << row.serial.Display();
}
