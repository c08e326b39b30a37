#include "Serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

using velqor::Serial;

namespace {

std::string Utf8(std::uint32_t c)
{
    if (c < 0x80)
        return std::string(1, static_cast<char>(c));
    if (c < 0x800)
        return {static_cast<char>(0xc0 | c >> 6), static_cast<char>(0x80 | (c & 0x3f))};
    if (c < 0x10000)
        return {static_cast<char>(0xe0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3f)),
                static_cast<char>(0x80 | (c & 0x3f))};
    return {static_cast<char>(0xf0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3f)),
            static_cast<char>(0x80 | (c >> 6 & 0x3f)), static_cast<char>(0x80 | (c & 0x3f))};
}

// Every text form reads back to the bytes, and no form is shared by two of
// the serials given.
void ExpectEveryFormReadsBackAndNamesOneSerial(const std::vector<std::string> &serials)
{
    std::set<std::string> displays, columns, cells;
    for (const std::string &bytes : serials) {
        const Serial serial(bytes);
        const std::string shown = "hex:" + serial.Hex();
        ASSERT_EQ(Serial::FromText(serial.Display()), serial) << shown;
        ASSERT_EQ(Serial::FromText(serial.Column()), serial) << shown;
        ASSERT_EQ(Serial::FromText(serial.Cell()), serial) << shown;
        ASSERT_EQ(std::string("=+-@'\t\r").find(serial.Cell().front()), std::string::npos)
            << shown << ": a cell that a spreadsheet would take for a formula";
        ASSERT_TRUE(displays.insert(serial.Display()).second) << shown << " shares its display form";
        ASSERT_TRUE(columns.insert(serial.Column()).second) << shown << " shares its column form";
        ASSERT_TRUE(cells.insert(serial.Cell()).second) << shown << " shares its cell";
    }
}

} // namespace

TEST(SerialTest, TheDisplayFormShowsUtf8AndEscapesEverythingElseAndReadsBack)
{
    const struct {
        std::string bytes;
        std::string display;
    } cases[] = {
        {"ORV-01 ok~", "ORV-01 ok~"},
        {"M\xc3\xbcller", "M\xc3\xbcller"}, // UTF-8 shows as written
        {std::string("\x1b]0;X\x07\n\t\\\x00\x7f", 11), "\\x1b]0;X\\x07\\x0a\\x09\\x5c\\x00\\x7f"},
        {"ORV\xff"
         "1",
         "ORV\\xff1"}, // not UTF-8
        {"\xc3", "\\xc3"}, // cut sequence
        {"\xc0\xaf", "\\xc0\\xaf"}, // overlong
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"}, // surrogate
        {"\xc2\x85", "\\xc2\\x85"}, // C1 control
        {"a\xe2\x80\xae"
         "b",
         "a\\xe2\\x80\\xaeb"}, // right-to-left override
        {"a\xe2\x81\xa6", "a\\xe2\\x81\\xa6"}, // a bidi isolate
        {"a\xe2\x80\xa8", "a\\xe2\\x80\\xa8"}, // the line separator
        {"ORV1\xe2\x80\x8b", "ORV1\\xe2\\x80\\x8b"}, // a zero-width space
        {"\xc2\xa0ORV", "\\xc2\\xa0ORV"}, // a no-break space
        {"hex:41", "\\x68ex:41"}, // the hex form's prefix, as text
        {"u\xcc\x88", "u\\xcc\\x88"}, // merges into the u: it would look like the single character
        {"\xc3\xbc\xcc\x81", "\xc3\xbc\\xcc\\x81"}, // with the acute it would be U+01D8
        {"\xe2\x84\xaa", "\\xe2\\x84\\xaa"}, // the Kelvin sign looks like K
        {"ORV\xe2\x82\xac"
         "1",
         "ORV\xe2\x82\xac"
         "1"},
    };
    for (const auto &c : cases) {
        const Serial serial(c.bytes);
        EXPECT_EQ(serial.Display(), c.display) << c.display;
        EXPECT_EQ(Serial::FromText(serial.Display()), serial) << c.display;
        EXPECT_EQ(Serial::FromText("hex:" + serial.Hex()), serial) << c.display;
    }
    EXPECT_EQ(Serial(std::string("\x00\xff"
                                 "A",
                                 3))
                  .Hex(),
              "00ff41");
}

TEST(SerialTest, TextThatNamesNoExactSerialIsRefused)
{
    for (const char *text : {"ORV\\", "ORV\\x4", "ORV\\x4g", "ORV\\n", "hex:0", "hex:zz", "hex:0 1"})
        EXPECT_FALSE(Serial::FromText(text)) << text;
    EXPECT_EQ(Serial::FromText("hex:00FF41"), Serial(std::string("\x00\xff\x41", 3)));
    EXPECT_EQ(Serial::FromText("hex:"), Serial());
}

TEST(SerialTest, EveryFormOfEveryShortSerialReadsBackToItAndToNoOther)
{
    std::vector<std::string> serials {""};
    for (int a = 0; a < 256; ++a) {
        serials.emplace_back(1, static_cast<char>(a));
        for (int b = 0; b < 256; ++b)
            serials.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
    ExpectEveryFormReadsBackAndNamesOneSerial(serials);
}

TEST(SerialTest, SerialsThatWouldLookAlikeAreToldApart)
{
    std::vector<std::string> serials {"ORV1", "ORV34-12", "ORV 1", "=X", "'=X", "-ORV7", "'-ORV7", "@A", "+A", "A"};
    // Format characters and spaces that show as nothing, or as a space.
    const std::uint32_t invisible[] = {0x00ad, 0x061c, 0x180e, 0x200b, 0x200c, 0x200d,  0x2060, 0x2061, 0x2062,
                                       0x2063, 0x2064, 0xfeff, 0x202a, 0x2066, 0xe0001, 0x034f, 0xfe0f, 0x3164,
                                       0x00a0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,  0x2004, 0x2005, 0x2006,
                                       0x2007, 0x2008, 0x2009, 0x200a, 0x202f, 0x205f,  0x3000, 0x2800, 0xe000};
    for (const std::uint32_t c : invisible) {
        for (const std::string &serial : {"ORV" + Utf8(c) + "1", Utf8(c) + "ORV1", "ORV1" + Utf8(c)}) {
            EXPECT_EQ(Serial(serial).Column().find(Utf8(c)), std::string::npos) << "U+" << std::hex << c;
            serials.push_back(serial);
        }
    }
    serials.push_back("ORV\xd8\x9c"
                      "12-34"); // an Arabic letter mark makes it read ORV34-12
    for (const char *prefix : {"hex:", "HEX:", "'", "=", "\xc2\xa0"}) {
        for (const char *rest : {"", "41", "4", "zz", "\\x41"})
            serials.push_back(std::string(prefix) + rest);
    }
    // Long serials that differ only in the middle.
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        std::string serial(40 + random() % 980, 'L');
        serial[serial.size() / 2] = static_cast<char>(random() % 256);
        serials.push_back(serial);
    }
    // And random ones: ASCII, two- to four-byte characters, stray bytes.
    for (int i = 0; i < 5000; ++i) {
        std::string serial;
        for (std::size_t n = random() % 12; n > 0; --n) {
            switch (random() % 4) {
            case 0:
                serial += static_cast<char>(random() % 128);
                break;
            case 1:
                serial += static_cast<char>(random() % 256);
                break;
            default:
                serial += Utf8(random() % 0x30000);
            }
        }
        serials.push_back(serial);
    }
    std::sort(serials.begin(), serials.end());
    serials.erase(std::unique(serials.begin(), serials.end()), serials.end());
    ExpectEveryFormReadsBackAndNamesOneSerial(serials);
    EXPECT_EQ(Serial(" ORV 1 ").Column(), "\\x20ORV 1\\x20");
    EXPECT_EQ(Serial().Column(), "hex:");
    EXPECT_EQ(Serial("=X").Cell(), "\\x3dX");
    EXPECT_EQ(Serial("'=X").Cell(), "\\x27=X");
}
