#include "Serial.h"

#include <gtest/gtest.h>

using velqor::Serial;

TEST(SerialTest, TheDisplayFormShowsUtf8AndEscapesEverythingElseAndReadsBack)
{
    const struct {
        std::string bytes;
        std::string display;
    } cases[] = {
        {"ORV-01 ok~", "ORV-01 ok~"},
        {"M\xc3\xbcller", "M\xc3\xbcller"}, // UTF-8 shows as written
        {std::string("\x1b]0;X\x07\n\t\\\x00", 10), "\\x1b]0;X\\x07\\x0a\\x09\\x5c\\x00"},
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

TEST(SerialTest, AColumnKeepsEdgeSpacesElidesWholeEscapesAndShowsTheEmptySerial)
{
    EXPECT_EQ(Serial().Column(32), "\"\"");
    EXPECT_EQ(Serial(" ORV 1 ").Column(32), "\\x20ORV 1\\x20");
    EXPECT_EQ(Serial("A\xe2\x80\xa6").Column(32), "A\\xe2\\x80\\xa6") << "a literal ellipsis is no elision";
    const std::string elided = Serial(std::string(20, '\xff')).Column(15);
    EXPECT_EQ(elided, "\\xff\xe2\x80\xa6\\xff\\xff") << "whole escapes only, within the width";
    EXPECT_EQ(Serial(std::string(40, 'L')).Column(9), "LLLL\xe2\x80\xa6LLLL");
}
