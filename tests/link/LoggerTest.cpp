#include "LogCapture.h"
#include "OrvaneLogger.h"

#include <boost/log/sources/logger.hpp>
#include <gtest/gtest.h>

using boost::log::trivial::severity_level;
using velqor::ThresholdFor;

TEST(LoggerTest, LevelTextChoosesTheThreshold)
{
    EXPECT_EQ(ThresholdFor(""), severity_level::fatal);
    EXPECT_EQ(ThresholdFor("trace"), severity_level::trace);
    EXPECT_EQ(ThresholdFor("TRACE"), severity_level::trace);
    EXPECT_EQ(ThresholdFor("Debug"), severity_level::debug);
    EXPECT_EQ(ThresholdFor("iNfO"), severity_level::info);
    EXPECT_EQ(ThresholdFor("warning"), severity_level::fatal);
    EXPECT_EQ(ThresholdFor("error"), severity_level::fatal);
    EXPECT_EQ(ThresholdFor(" trace"), severity_level::fatal);
    EXPECT_EQ(ThresholdFor("verbose"), severity_level::fatal);
}

// ORVANE_TEST_LOG_LEVEL is the level in force when the logger starts, and
// ORVANE_TEST_THRESHOLD the lowest severity expected to pass.
TEST(LoggerTest, FilterPassesRecordsAtOrAboveTheThresholdOnly)
{
    velqor::logLevel = ORVANE_TEST_LOG_LEVEL;
    velqor::test::LogCapture capture;
    auto &logger = velqor::my_logger::get();
    velqor::logLevel = "trace"; // too late: the threshold was fixed at the start
    for (int level = severity_level::trace; level <= severity_level::fatal; ++level)
        BOOST_LOG_SEV(logger, static_cast<severity_level>(level)) << level;
    boost::log::sources::logger plain;
    BOOST_LOG(plain) << "no severity";

    std::vector<std::string> passed;
    for (const auto &record : capture.Records())
        passed.push_back(record.message);
    std::vector<std::string> expected;
    for (int level = ORVANE_TEST_THRESHOLD; level <= severity_level::fatal; ++level)
        expected.push_back(std::to_string(level));
    EXPECT_EQ(passed, expected);
}
