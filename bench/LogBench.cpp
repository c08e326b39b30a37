// What the per-datagram trace record costs when the threshold drops it (the
// default), against writing nothing and against a record that passes.

#include "OrvaneLogger.h"

#include <benchmark/benchmark.h>
#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>

namespace {

using boost::log::trivial::severity_level;

// Takes every record and does nothing with it.
class NullBackend : public boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
public:
    void consume(const boost::log::record_view &) { }
};

void Nothing(benchmark::State &state)
{
    std::size_t bytes = 1017;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes);
}
BENCHMARK(Nothing);

void FilteredTrace(benchmark::State &state)
{
    auto &logger = velqor::my_logger::get();
    std::size_t bytes = 1017;
    for (auto _ : state)
        BOOST_LOG_SEV(logger, severity_level::trace) << "OrvaneBase::AsyncReceiveCallback :" << bytes;
}
BENCHMARK(FilteredTrace);

void PassingFatal(benchmark::State &state)
{
    auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<NullBackend>>();
    boost::log::core::get()->add_sink(sink);
    auto &logger = velqor::my_logger::get();
    std::size_t bytes = 1017;
    for (auto _ : state)
        BOOST_LOG_SEV(logger, severity_level::fatal) << "OrvaneBase::AsyncReceiveCallback :" << bytes;
    boost::log::core::get()->remove_sink(sink);
}
BENCHMARK(PassingFatal);

} // namespace

BENCHMARK_MAIN();
