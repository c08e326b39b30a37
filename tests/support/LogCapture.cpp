#include "LogCapture.h"

#include <boost/log/core.hpp>
#include <boost/log/expressions/message.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/make_shared.hpp>

#include <condition_variable>
#include <mutex>

namespace velqor::test {

class LogCapture::Backend : public boost::log::sinks::basic_sink_backend<boost::log::sinks::synchronized_feeding> {
public:
    void consume(const boost::log::record_view &record)
    {
        LogRecord entry {boost::log::trivial::fatal, {}};
        if (auto severity = record[boost::log::trivial::severity])
            entry.severity = *severity;
        if (auto message = record[boost::log::expressions::smessage])
            entry.message = *message;
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back(std::move(entry));
        changed.notify_all();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<LogRecord> records;
};

LogCapture::LogCapture() : backend(std::make_shared<Backend>())
{
    // The frontend wants a boost::shared_ptr; the backend lives as long as this object.
    sink = boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>(
        boost::shared_ptr<Backend>(backend.get(), [](Backend *) {}));
    boost::log::core::get()->add_sink(sink);
}

LogCapture::~LogCapture()
{
    boost::log::core::get()->remove_sink(sink);
    sink->flush();
}

std::vector<LogRecord> LogCapture::Records() const
{
    std::lock_guard<std::mutex> lock(backend->mutex);
    return backend->records;
}

bool LogCapture::WaitFor(const std::string &prefix, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(backend->mutex);
    return backend->changed.wait_for(lock, timeout, [&] {
        for (const LogRecord &record : backend->records) {
            if (record.message.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    });
}

} // namespace velqor::test
