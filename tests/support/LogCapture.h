#ifndef VELQOR_TEST_LOGCAPTURE_H
#define VELQOR_TEST_LOGCAPTURE_H

#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/trivial.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velqor::test {

struct LogRecord {
    boost::log::trivial::severity_level severity;
    std::string message;
};

/// Collects every record that passes the logging core's filter for as long as
/// it lives; while it does, nothing reaches the default sink.
class LogCapture {
public:
    LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;
    ~LogCapture();

    std::vector<LogRecord> Records() const;
    /// Waits until a record whose message starts with prefix has arrived.
    bool WaitFor(const std::string &prefix, std::chrono::milliseconds timeout) const;

    class Backend;

private:
    std::shared_ptr<Backend> backend;
    boost::shared_ptr<boost::log::sinks::synchronous_sink<Backend>> sink;
};

} // namespace velqor::test

#endif // VELQOR_TEST_LOGCAPTURE_H
