// A commissioning plan read from CSV or a spreadsheet and checked, as apply and the window's
// import do before anything is sent: no network.

#include "PlanFile.h"
#include "Csv.h"
#include "PlanReport.h"
#include "XlsxWriter.h"
#include "ZipArchive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

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
        {"serial,address\n,10.0.0.2\n", "line 2: no serial"},
        {"serial,address\nA\\q,10.0.0.2\n", "line 2: serial \"A\\x5cq\" does not parse"},
        {"serial_hex,address\n4g,10.0.0.2\n", "line 2: serial_hex \"4g\" is not pairs of hex digits"},
        {"serial,serial_hex,address\nA,42,10.0.0.2\n", "line 2: serial \"A\" and serial_hex \"42\" name different"},
        {"serial,address\nA,10.0.0.2\n\"B\nC\",10.0.0.3\nA,10.0.0.4\n",
         "line 5: serial A is planned twice (also on line 2)"},
        {"serial,address,interface\nA,10.0.0.2,eth0\nA,10.0.0.3,\n", "line 3: serial A is planned twice"},
        {"serial,address\n\"A,10.0.0.2\n", "line 2: a quoted cell is not closed"},
        {"serial,address\n\"A\"x,10.0.0.2\n", "line 2: text after a closing quote: not a CSV file"},
        {std::string(elf, sizeof elf - 1), "holds NUL bytes: UTF-16 text without a byte-order mark"},
        {"serial,address\n", "line 1: the plan has no rows, only its header"},
        {"serial,address,Address\nA,10.0.0.2,10.0.0.3\n",
         "line 1: column 2 (\"address\") and column 3 (\"Address\") both give the address: keep one"},
        {"Serial Number,IP,serial\n",
         "line 1: column 1 (\"Serial Number\") and column 3 (\"serial\") both give the serial"},
        {"serial,address\n123,10.0.0.2\n", "line 2: serial \"123\" reads as a number, which a spreadsheet may"},
        {"serial,address\n1E3,10.0.0.2\n", "line 2: serial \"1E3\" reads as a number"},
        {"serial,address\n-1.5,10.0.0.2\n", "line 2: serial \"-1.5\" reads as a number"},
        {"serial_hex,address\n3.02E+037,10.0.0.2\n",
         "line 2: serial_hex \"3.02E+037\" is a number a spreadsheet made of the hex digits: format the serial_hex"},
        {"serial,from,address\nA,10.0.0,10.0.0.2\n", "line 2: from \"10.0.0\" is not an IPv4 address"},
        {"serial,address\nA,10.0.0.2\nA,\n", "line 3: serial A is planned twice (also on line 2)"},
        {"serial,address,interface\nA,10.0.0.2,\nA,10.0.0.3,eth0\n",
         "line 3: serial A is planned twice (also on line 2)"},
        {std::string("\xff\xfes\0\x3d\xd8"
                     "a\0",
                     8),
         "UTF-16 text with a broken surrogate pair"},
        {std::string("\xff\xfes\0e", 5), "UTF-16 text with an odd number of bytes"},
        {"serial,address\nORV\x81,10.0.0.2\n", "the text is neither UTF-8 nor Windows-1252: save it as CSV UTF-8"},
        {std::string("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8), "an Excel 97-2003 workbook (.xls), which is not read"},
        {"PK\x03\x04 no archive", "a zip archive, but neither an .xlsx nor an .ods spreadsheet"},
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

namespace {

std::string Utf16(const std::string &ascii, bool bigEndian)
{
    std::string out = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (const char c : ascii)
        out += bigEndian ? std::string {'\0', c} : std::string {c, '\0'};
    return out;
}

} // namespace

// Each shape a spreadsheet or a paste gives a plan, and the row it means.
TEST(PlanFileTest, ReadsEveryEncodingSeparatorAndHeaderSpreadsheetsWrite)
{
    const struct {
        std::string text;
        std::string serial; // of the first row
        std::size_t line;
    } cases[] = {
        {"serial\taddress\nA B\t10.0.0.2\n", "A B", 2}, // a paste, or the window's Ctrl+C
        {"\"serial\";\"address\";\"note, free\"\nA;10.0.0.2;\"x, y\"\n", "A", 2},
        {Utf16("serial,address\r\nORV1,10.0.0.2\r\n", false), "ORV1", 2},
        {Utf16("serial\taddress\nORV1\t10.0.0.2\n", true), "ORV1", 2},
        {"serial;address\nORV\xc4"
         "1;10.0.0.2\n",
         "ORV\xc3\x84"
         "1",
         2}, // Windows-1252: Ä
        {"\xef\xbb\xbfSerial Number, IP Address \nA,10.0.0.2\n", "A", 2},
        {"SERIAL_NUMBER;IPv4\nA;10.0.0.2\n", "A", 2},
        {"serial,ip,current address\nA,10.0.0.2,10.0.0.9\n", "A", 2},
        {"serial,address\n  A \xc2\xa0,10.0.0.2\n", "A", 2}, // a spreadsheet's padding
        {"serial,address\n\\x20A\\x20,10.0.0.2\n", " A ", 2}, // spaces of its own, as list writes them
        {"serial,address\n000123,10.0.0.2\n", "000123", 2}, // typed as text: no spreadsheet writes a number so
        {"serial,address\n \"A,B\" ,10.0.0.2\n", "A,B", 2}, // padding around a quoted cell
        {[] { // a character beyond 16 bits: a surrogate pair
             std::string text = Utf16("serial,address\nX,10.0.0.2\n", false);
             return text.replace(text.find(std::string("X\0", 2)), 2, std::string("\x3d\xd8\x00\xde", 4));
         }(),
         "\xf0\x9f\x98\x80", 2},
        {"serial;address\nORV\x80;10.0.0.2\n", "ORV\xe2\x82\xac", 2}, // Windows-1252's euro sign
        // CR LF within a quoted cell is one line break.
        {"serial,address,note\r\nA,,\"two\r\nlines\"\r\nB,10.0.0.3,\r\n", "B", 4},
    };
    for (const auto &test : cases) {
        const PlanFile plan = PlanFile::Parse(test.text);
        ASSERT_TRUE(plan.Ok()) << plan.Error() << " in " << test.text;
        ASSERT_FALSE(plan.Entries().empty()) << test.text;
        EXPECT_EQ(plan.Entries()[0].serial, Serial(test.serial)) << test.text;
        EXPECT_EQ(plan.Entries()[0].line, test.line) << test.text;
        EXPECT_EQ(plan.Entries()[0].address, (Ipv4Bytes {10, 0, 0, static_cast<unsigned char>(test.line == 4 ? 3 : 2)}))
            << test.text;
    }
    // An empty address leaves its device as it is: reported, never sent.
    const PlanFile leave = PlanFile::Parse("serial,address\nA,\nB,10.0.0.3\n");
    ASSERT_TRUE(leave.Ok()) << leave.Error();
    ASSERT_EQ(leave.Skipped().size(), 1u);
    std::vector<PlanReportRow> report = PlanReport(leave.Entries(), leave.Rows({Found("B", 3)}), nullptr);
    AddSkipped(report, leave.Skipped());
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].status, "skipped");
    EXPECT_EQ(report[0].line, 2u);
    EXPECT_TRUE(report[0].reached);
    EXPECT_EQ(report[1].serial, Serial("B"));
}

// A serial that reads as a number may be another serial a spreadsheet
// rewrote: such a row needs what identifies its device beyond doubt.
TEST(PlanFileTest, ARowNamesItsDeviceBeyondWhatASpreadsheetCanMangle)
{
    EXPECT_TRUE(PlanFile::Parse("serial,address\n123,10.0.0.2\n", {"", true, "--force"}).Ok());
    const PlanFile window = PlanFile::Parse("serial,address\n123,10.0.0.2\n", {"", false, ""});
    EXPECT_EQ(window.Error().find("--force"), std::string::npos) << window.Error();
    EXPECT_TRUE(PlanFile::Parse("serial,address\n123,\n").Ok()) << "a row left alone needs no proof";

    const std::vector<DeviceDetails> devices {Found("A", 10), Found("123", 11), Found("A", 12, kCellTwo)};
    const PlanFile plan = PlanFile::Parse("serial,from,address,serial_hex,interface\n"
                                          "123,10.0.0.11,10.0.0.21,,\n" // where the plan has it
                                          "A,10.0.0.12,10.0.0.23,,eth1\n"
                                          "A,10.0.0.99,10.0.0.22,,eth0\n" // a stale plan: not there
                                          ",,10.0.0.24,41,eth7\n"); // an interface this workstation lacks
    ASSERT_TRUE(plan.Ok()) << plan.Error();
    const std::vector<MovePlan::Row> rows = plan.Rows(devices, {"eth0", "eth1"});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_FALSE(rows[0].blocked);
    EXPECT_FALSE(rows[1].blocked);
    EXPECT_EQ(rows[1].found->address, (Ipv4Bytes {10, 0, 0, 12}));
    EXPECT_EQ(rows[2].blocked, NotSentReason::NotWherePlanned);
    EXPECT_EQ(NotSentText(ChangeOutcome::NotSent(*rows[2].blocked, rows[2].host)),
              "the device is not at the plan's from address: the plan is stale, or names another device "
              "(10.0.0.99)");
    EXPECT_EQ(rows[3].blocked, NotSentReason::NoSuchInterface);
    EXPECT_EQ(NotSentText(ChangeOutcome::NotSent(*rows[3].blocked, rows[3].host)),
              "this workstation has no such interface (eth7; the serial answers on eth0, eth1)");

    std::vector<std::string> by;
    for (const PlanReportRow &row : PlanReport(plan.Entries(), rows, nullptr))
        by.push_back(row.identifiedBy);
    EXPECT_EQ(by, (std::vector<std::string> {"from", "from", "from", "serial_hex"}));
}

namespace {

// What a spreadsheet's general format writes for a cell it took for a
// number; the text itself where it is none.
std::string AsASpreadsheetSavesIt(const std::string &typed)
{
    char *end = nullptr;
    const double value = std::strtod(typed.c_str(), &end);
    if (typed.empty() || *end != '\0' || !std::isfinite(value) || typed.find_first_of("xXnN") != std::string::npos)
        return typed;
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%.2E", value);
    return text;
}

} // namespace

// Generated: whatever serials a technician's spreadsheet held, the plan it
// saves either names the very device its author meant or is refused.
TEST(PlanFileTest, ASpreadsheetsRewriteOfASerialNeverNamesAnotherDevice)
{
    std::mt19937 random(20261210);
    const std::string alphabet = "0123456789.eE+-ORV";
    int rewritten = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string meant;
        const std::size_t length = 1 + random() % 8;
        for (std::size_t at = 0; at < length; ++at)
            meant += alphabet[random() % (at == 0 ? 10 : alphabet.size())];
        const std::string saved = AsASpreadsheetSavesIt(meant);
        rewritten += saved != meant;
        const PlanFile plan = PlanFile::Parse("serial,address\n" + saved + ",10.0.0.2\n");
        if (plan.Ok()) {
            EXPECT_EQ(plan.Entries().at(0).serial, Serial(meant)) << meant << " saved as " << saved;
        }
    }
    EXPECT_GT(rewritten, 100) << "the generator must rewrite serials to test anything";
}

// Files that LibreOffice Calc saved (tests/data/make-fixtures) and files
// shaped as Excel writes them (tests/data/make-excel-shaped.py).
TEST(PlanFileTest, ReadsTheFilesSpreadsheetProgramsSave)
{
    const std::vector<std::string> fromColumn {"000123", "1E3",
                                               "ORV\xc3\x84"
                                               "1"};
    const std::vector<std::string> exported {" ORV7 ", "000123", "1E3", "=1+1",
                                             "ORV\xc3\x84"
                                             "1"};
    const struct {
        const char *file;
        const char *sheet;
        std::string error; // empty: read, as serials
        std::vector<std::string> serials;
        const char *identity;
    } cases[] = {
        {"lo-numbers.xlsx", "", "sheet \"lo-numbers\", cell A2: serial \"123\" is a number in the sheet", {}, ""},
        {"lo-numbers.ods", "", "sheet \"lo-numbers\", cell A2: serial \"123\" is a number in the sheet", {}, ""},
        {"lo-text.xlsx", "", "", fromColumn, "from"},
        {"lo-text.ods", "", "", fromColumn, "from"},
        {"lo-comma-utf8.csv", "", "", fromColumn, "from"},
        {"lo-semicolon-windows1252.csv", "", "", fromColumn, "from"},
        {"lo-tab-utf16.txt", "", "", fromColumn, "from"},
        {"lo-resaved-export.xlsx", "", "", exported, "serial_hex"},
        {"lo-resaved-export.ods", "", "", exported, "serial_hex"},
        {"excel-shared-strings.xlsx", "", "", {"ORV000123", "A_x0041_B"}, "serial_hex"},
        {"excel-shared-strings.xlsx", "Plan B", "", {"ORV9"}, "serial"},
        {"excel-shared-strings.xlsx", "Nope", "no sheet \"Nope\": the file has \"Plan\", \"Plan B\"", {}, ""},
        {"excel-number-serial.xlsx", "", "sheet \"Sheet1\", cell A3: serial \"123\" is a number in the sheet", {}, ""},
        {"lo-comma-utf8.csv", "Plan", "a text file has no sheets", {}, ""},
    };
    for (const auto &test : cases) {
        std::ifstream file(std::string(ORVANE_TEST_DATA "/") + test.file, std::ios::binary);
        ASSERT_TRUE(file) << test.file;
        const PlanFile plan = PlanFile::Read(file, {test.sheet, false, "--force"});
        if (!test.error.empty()) {
            EXPECT_EQ(plan.Error().rfind(test.error, 0), 0u) << test.file << ": " << plan.Error();
            continue;
        }
        ASSERT_TRUE(plan.Ok()) << test.file << ": " << plan.Error();
        std::vector<std::string> serials;
        for (const PlanFile::Entry &entry : plan.Entries()) {
            serials.push_back(entry.serial.Bytes());
            EXPECT_STREQ(IdentityName(entry.identity), test.identity) << test.file;
        }
        EXPECT_EQ(serials, test.serials) << test.file;
    }
}

// The workbook list --format xlsx and the window's export write reads back
// as the plan of the same devices, cell for cell.
TEST(PlanFileTest, AWrittenWorkbookReadsBackAsItsDevices)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> serials {"000123", "1E3", "=X", " a_x0041_ & <b> ",
                                      "ORV\xc3\x84"
                                      "1"};
    for (std::size_t at = 0; at < serials.size(); ++at) {
        DeviceDetails device = Found(serials[at], static_cast<unsigned char>(10 + at));
        rows.push_back(DeviceCsvFields(device));
    }
    const std::string workbook = XlsxWriter::Write("Devices", DeviceCsvHeader(), rows);
    // Its columns formatted as text, so that what is typed into them later stays text.
    const ZipArchive zip(workbook);
    EXPECT_NE(zip.Member("xl/styles.xml", 1 << 20).value_or("").find("numFmtId=\"49\""), std::string::npos);
    EXPECT_NE(zip.Member("xl/worksheets/sheet1.xml", 1 << 20).value_or("").find("style=\"1\"/></cols>"),
              std::string::npos);
    const PlanFile plan = PlanFile::Parse(workbook);
    ASSERT_TRUE(plan.Ok()) << plan.Error();
    ASSERT_EQ(plan.Entries().size(), serials.size());
    for (std::size_t at = 0; at < serials.size(); ++at) {
        EXPECT_EQ(plan.Entries()[at].serial, Serial(serials[at]));
        EXPECT_EQ(plan.Entries()[at].identity, PlanFile::Identity::SerialHex);
        EXPECT_EQ(plan.Entries()[at].line, at + 2);
    }
}

// Sheets as programs write them beyond the fixtures: repeated and padded
// cells, notes on cells, rows and cells without their number, a string
// index past the workbook's strings, an archive that unpacks too large.
TEST(PlanFileTest, ReadsTheShapesSheetsTakeAndRefusesBrokenOnes)
{
    const std::string ods = ZipArchive::Write(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
         {"content.xml",
          "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
          "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>"
          "<table:table table:name=\"Plan\"><table:table-row><table:table-cell table:number-columns-repeated=\"2\"/>"
          "<table:table-cell><text:p>serial</text:p></table:table-cell><table:table-cell><text:p>address</text:p>"
          "</table:table-cell><table:table-cell table:number-columns-repeated=\"1000000\"/></table:table-row>"
          "<table:table-row table:number-rows-repeated=\"3\"><table:table-cell "
          "table:number-columns-repeated=\"16384\"/></table:table-row>"
          "<table:table-row><table:table-cell/><table:table-cell/><table:table-cell><text:p>A<text:s "
          "text:c=\"2\"/>B</text:p><office:annotation><text:p>a note</text:p></office:annotation>"
          "</table:table-cell><table:table-cell><text:p>10.0.0.2</text:p></table:table-cell></table:table-row>"
          "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell/></table:table-row>"
          "</table:table></office:spreadsheet></office:body></office:document-content>"}});
    const PlanFile sheet = PlanFile::Parse(ods);
    ASSERT_TRUE(sheet.Ok()) << sheet.Error();
    ASSERT_EQ(sheet.Entries().size(), 1u);
    EXPECT_EQ(sheet.Entries()[0].serial, Serial("A  B"));
    EXPECT_EQ(sheet.Entries()[0].line, 5u);

    const auto workbook = [](const std::string &rows) {
        return ZipArchive::Write(
            {{"xl/workbook.xml", "<workbook><sheets><sheet name=\"S\" id=\"r1\"/></sheets></workbook>"},
             {"xl/_rels/workbook.xml.rels",
              "<Relationships><Relationship Id=\"r1\" Target=\"s.xml\"/></Relationships>"},
             {"xl/sharedStrings.xml", "<sst><si><t>serial</t></si><si><t>address</t></si></sst>"},
             {"xl/s.xml", "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"}});
    };
    const PlanFile numbered = PlanFile::Parse(
        workbook("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row><row><c t=\"inlineStr\"><is><t>A</t>"
                 "</is></c><c t=\"inlineStr\"><is><t>10.0.0.2</t></is></c></row>"));
    ASSERT_TRUE(numbered.Ok()) << numbered.Error();
    EXPECT_EQ(numbered.Entries().at(0).line, 2u);
    EXPECT_EQ(numbered.Entries().at(0).address, (Ipv4Bytes {10, 0, 0, 2}));
    const PlanFile missing = PlanFile::Parse(workbook("<row r=\"1\"><c r=\"B1\" t=\"s\"><v>7</v></c></row>"));
    EXPECT_EQ(missing.Error().rfind("sheet \"S\" cannot be read: sheet \"S\", cell B1 names a string the workbook "
                                    "does not hold",
                                    0),
              0u)
        << missing.Error();

    const std::string bomb = ZipArchive::Write({{"big", std::string(std::size_t {1} << 20, '\0')}});
    EXPECT_LT(bomb.size(), std::size_t {1} << 16);
    EXPECT_FALSE(ZipArchive(bomb).Member("big", 1000));
    EXPECT_EQ(ZipArchive(bomb).Member("big", std::size_t {2} << 20).value_or("").size(), std::size_t {1} << 20);
}
