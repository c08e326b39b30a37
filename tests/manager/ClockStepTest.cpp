// The system time is stepped under the manager's feet: this executable
// replaces the C library's wall-clock readings with ones that it can shift.

#include "ManagerFixture.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using namespace velqor;
using velqor::sim::SimulatedDevice;
using velqor::test::Device;
using velqor::test::ManagerTest;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<long> wallClockShift {0};

} // namespace

extern "C" int clock_gettime(clockid_t clock, struct timespec *time) noexcept
{
    const long status = syscall(SYS_clock_gettime, clock, time);
    if (status == 0 && clock == CLOCK_REALTIME)
        time->tv_sec += wallClockShift;
    return static_cast<int>(status);
}

extern "C" int gettimeofday(struct timeval *time, void *) noexcept
{
    struct timespec now { };
    clock_gettime(CLOCK_REALTIME, &now);
    time->tv_sec = now.tv_sec;
    time->tv_usec = now.tv_nsec / 1000;
    return 0;
}

namespace {

// Steps the wall clock by shift after a moment and says how long call took.
template<typename Call> double SecondsWithStep(long shift, Call call)
{
    std::thread stepper([shift] {
        std::this_thread::sleep_for(300ms);
        wallClockShift += shift;
    });
    const auto started = Clock::now();
    call();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    stepper.join();
    return seconds;
}

} // namespace

TEST_F(ManagerTest, WallClockStepsChangeNoWait)
{
    Start({Device("QUIET", "127.0.0.2", SimulatedDevice::Answer::Silent)});
    const double back = SecondsWithStep(-20, [&] { EXPECT_EQ(manager->Search(1500, true, nullptr), ResultTimeout); });
    EXPECT_GT(back, 1.45);
    EXPECT_LT(back, 3.0) << "a step back must not lengthen the search";
    const double ahead =
        SecondsWithStep(3600, [&] { EXPECT_EQ(manager->SetAddress("QUIET", "10.0.0.2"), ResultTimeout); });
    EXPECT_GT(ahead, 0.95) << "a step ahead must not cut the wait short";
    EXPECT_LT(ahead, 2.5);
}
