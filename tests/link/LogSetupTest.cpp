// The diagnostic log switched on to a file, as --log-level and --log-file do.

#include "LogSetup.h"
#include "OrvaneLogger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

TEST(LogSetupTest, AppendsStampedRecordsAtTheChosenLevelToTheFile)
{
    EXPECT_FALSE(velqor::SetUpLogging("debug", "/nonexistent-folder/orvane.log"));
    EXPECT_EQ(velqor::logLevel, "") << "a failed set-up changes nothing";

    const std::string path = "/tmp/orvane-log-setup-" + std::to_string(getpid()) + ".log";
    std::ofstream(path) << "earlier run\n";
    ASSERT_TRUE(velqor::SetUpLogging("debug", path));
    auto &logger = velqor::my_logger::get();
    BOOST_LOG_SEV(logger, boost::log::trivial::trace) << "too fine";
    BOOST_LOG_SEV(logger, boost::log::trivial::debug) << "sent 12 bytes";

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::remove(path.c_str());
    EXPECT_TRUE(std::regex_match(
        text.str(), std::regex("earlier run\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d+ debug: sent 12 bytes\n")))
        << text.str();
}

TEST(LogSetupTest, APathIsTakenAsWrittenAndAFullDiskIsSaid)
{
    EXPECT_FALSE(velqor::IsLogLevel("garbage"));
    EXPECT_TRUE(velqor::IsLogLevel("DeBuG"));
    EXPECT_FALSE(velqor::LogFolderExists("/nonexistent-folder/orvane.log"));
    EXPECT_TRUE(velqor::LogFolderExists("orvane.log")) << "the working folder";

    const std::string path = "/tmp/orvane%N-" + std::to_string(getpid()) + ".log";
    ASSERT_TRUE(velqor::SetUpLogging("debug", path));
    BOOST_LOG_SEV(velqor::my_logger::get(), boost::log::trivial::debug) << "kept";
    EXPECT_TRUE(std::ifstream(path).good()) << "no pattern made of the %";
    std::remove(path.c_str());
    EXPECT_FALSE(velqor::LogFileFailed());

    ASSERT_TRUE(velqor::SetUpLogging("debug", "/dev/full"));
    BOOST_LOG_SEV(velqor::my_logger::get(), boost::log::trivial::debug) << "lost";
    EXPECT_TRUE(velqor::LogFileFailed());
}
