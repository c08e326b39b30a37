#include "OrvaneLogger.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>

namespace velqor {

std::string logLevel;

boost::log::trivial::severity_level ThresholdFor(const std::string &level)
{
    using boost::log::trivial::severity_level;
    if (boost::algorithm::iequals(level, "trace"))
        return severity_level::trace;
    if (boost::algorithm::iequals(level, "debug"))
        return severity_level::debug;
    if (boost::algorithm::iequals(level, "info"))
        return severity_level::info;
    return severity_level::fatal;
}

BOOST_LOG_GLOBAL_LOGGER_INIT(my_logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>)
{
    boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level> logger;
    boost::log::add_common_attributes();
    // A record without a severity fails the comparison and is dropped.
    boost::log::core::get()->set_filter(boost::log::trivial::severity >= ThresholdFor(logLevel));
    return logger;
}

} // namespace velqor
