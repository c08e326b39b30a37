#include "LogSetup.h"

#include "OrvaneLogger.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/log/utility/setup/console.hpp>
#include <boost/make_shared.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>

namespace velqor {

namespace {

using FileSink = boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;

boost::shared_ptr<FileSink> fileSink;
boost::shared_ptr<std::ofstream> fileStream;

} // namespace

bool IsLogLevel(const std::string &level)
{
    return level.empty() || boost::algorithm::iequals(level, "trace") || boost::algorithm::iequals(level, "debug") ||
        boost::algorithm::iequals(level, "info");
}

bool LogFolderExists(const std::string &filePath)
{
    std::error_code error;
    // UTF-8, as every path here is: Windows opens it by its wide form, not
    // in the ANSI code page.
    const std::filesystem::path folder = std::filesystem::u8path(filePath).parent_path();
    return folder.empty() || std::filesystem::is_directory(folder, error);
}

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
        // Opened here rather than by Boost.Log's file sink, which takes % in
        // a name as a pattern.
        auto stream = boost::make_shared<std::ofstream>(std::filesystem::u8path(filePath), std::ios::app);
        if (!*stream)
            return false;
        auto backend = boost::make_shared<boost::log::sinks::text_ostream_backend>();
        backend->add_stream(stream);
        backend->auto_flush(true);
        fileSink = boost::make_shared<FileSink>(backend);
        fileSink->set_formatter(format);
        fileStream = stream;
        boost::log::core::get()->add_sink(fileSink);
    }
    logLevel = level;
    return true;
}

bool LogFileFailed()
{
    if (!fileSink)
        return false;
    // Under the sink's lock: a record may be being written on another thread.
    auto backend = fileSink->locked_backend();
    return !*fileStream;
}

} // namespace velqor
