#ifndef ORVANE_LOGGER_H
#define ORVANE_LOGGER_H

#include <boost/log/sources/global_logger_storage.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>

#include <string>

namespace velqor {

/// Threshold chosen when the logger starts: "trace", "debug" or "info" in any
/// case; anything else, the empty default included, lets only fatal records pass.
extern std::string logLevel;

/// The threshold that a `logLevel` text selects.
boost::log::trivial::severity_level ThresholdFor(const std::string &level);

BOOST_LOG_GLOBAL_LOGGER(my_logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>)

} // namespace velqor

#endif // ORVANE_LOGGER_H
