// The journal of parked devices and the interfaces' locks: files only, no network.

#include "Journal.h"
#include "LinkLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace velqor;

namespace {

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("orvane-journal-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
};

Journal::Entry Entry(const std::string &serial, const std::string &link, unsigned char parked)
{
    return {{link, Serial(serial)}, {10, 0, 0, 1}, {10, 0, 0, parked}, {10, 0, 0, 2}};
}

} // namespace

TEST_F(JournalTest, WhatIsWrittenIsReadByTheNextRunWhateverTheNames)
{
    const std::vector<Journal::Entry> entries {
        Entry("ORV000000", "h0", 77),
        Entry(std::string("\0\xff with space", 13), "Ethernet 2", 78), // any bytes, any interface name
        Entry("ONE-SOCKET", "", 79), // no particular interface
    };
    {
        Journal journal(folder / "state" / "journal");
        for (const Journal::Entry &entry : entries)
            ASSERT_TRUE(journal.Add(entry));
    }
    Journal next(folder / "state" / "journal");
    EXPECT_EQ(next.Entries(), entries);
    // Added again, a device keeps one entry, its newest.
    ASSERT_TRUE(next.Add(Entry("ORV000000", "h0", 90)));
    ASSERT_EQ(next.Entries().size(), 3u);
    EXPECT_EQ(next.Entries().back(), Entry("ORV000000", "h0", 90));
    // The same serial on another link is another device.
    ASSERT_TRUE(next.Remove({"h3", Serial("ORV000000")}));
    EXPECT_EQ(next.Entries().size(), 3u);
    ASSERT_TRUE(next.Remove({"h0", Serial("ORV000000")}));
    EXPECT_EQ(next.Entries(), std::vector<Journal::Entry>(entries.begin() + 1, entries.end()));

    // A line that does not read (a torn write of another version) is skipped, the others kept.
    std::ofstream(folder / "state" / "journal", std::ios::app) << "orvane-journal-1 zz h0\n";
    EXPECT_EQ(next.Entries().size(), 2u);
}

TEST_F(JournalTest, TwoProgramsChangingItAtOnceLoseNothing)
{
    const std::filesystem::path path = folder / "journal";
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&, writer] {
            Journal journal(path); // a journal object each, as two processes have
            for (int i = 0; i < 25; ++i)
                EXPECT_TRUE(journal.Add(Entry("W" + std::to_string(writer) + "-" + std::to_string(i), "h0", 77)));
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_EQ(Journal(path).Entries().size(), 100u);
}

TEST_F(JournalTest, AnInterfaceIsHeldByOneProgramUntilItEndsHoweverItEnds)
{
    std::string busy;
    {
        const auto first = LinkLock::TryAcquire(folder, {"h0", "h1"}, "pid 1: orvane-cli apply plan.csv");
        ASSERT_TRUE(first);
        EXPECT_FALSE(LinkLock::TryAcquire(folder, {"h2", "h1"}, "pid 2", &busy));
        EXPECT_EQ(busy, "h1 (pid 1: orvane-cli apply plan.csv)");
        EXPECT_TRUE(LinkLock::TryAcquire(folder, {"h2"}, "pid 2")) << "all or none: h2 was let go";
    }
    EXPECT_TRUE(LinkLock::TryAcquire(folder, {"h0", "h1"}, "pid 3")) << "let go with its holder";

    // A holder that is killed holds nothing.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const auto held = LinkLock::TryAcquire(folder, {"h0"}, "the child");
        const char byte = held ? 1 : 0;
        [[maybe_unused]] const auto written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    EXPECT_FALSE(LinkLock::TryAcquire(folder, {"h0"}, "pid 4"));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(LinkLock::TryAcquire(folder, {"h0"}, "pid 4"));
    ::close(ready[0]);
    ::close(ready[1]);
}
