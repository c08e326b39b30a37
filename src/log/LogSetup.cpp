#include "LogSetup.h"

#include "OrvaneLogger.h"

#include <boost/log/expressions.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/log/utility/setup/console.hpp>
#include <boost/log/utility/setup/file.hpp>

#include <fstream>
#include <iostream>

namespace velqor {

bool SetUpLogging(const std::string &level, const std::string &filePath)
{
    if (level.empty())
        return true;
    namespace expr = boost::log::expressions;
    namespace keywords = boost::log::keywords;
    const auto format =
        expr::stream << expr::format_date_time<boost::posix_time::ptime>("TimeStamp", "%Y-%m-%d %H:%M:%S.%f") << " "
                     << boost::log::trivial::severity << ": " << expr::smessage;
    if (filePath.empty()) {
        boost::log::add_console_log(std::clog, keywords::format = format, keywords::auto_flush = true);
    } else {
        if (!std::ofstream(filePath, std::ios::app))
            return false;
        boost::log::add_file_log(keywords::file_name = filePath, keywords::open_mode = std::ios::app,
                                 keywords::format = format, keywords::auto_flush = true);
    }
    logLevel = level;
    return true;
}

} // namespace velqor
