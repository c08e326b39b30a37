#ifndef VELQOR_TEST_MANAGERFIXTURE_H
#define VELQOR_TEST_MANAGERFIXTURE_H

#include "DeviceListener.h"
#include "DeviceSimulator.h"
#include "OrvaneManagerPrivate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace velqor::test {

/// Records every registry copy it is handed.
class RecordingListener : public DeviceListener {
public:
    void DevicesFound(DeviceMap devices) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(std::move(devices));
        changed.notify_all();
    }

    std::vector<DeviceMap> WaitForCalls(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, timeout, [&] { return calls.size() >= count; });
        return calls;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<DeviceMap> calls;
};

/// A manager aimed at a simulator on loopback whose devices answer from 127.0.0.x.
class ManagerTest : public ::testing::Test {
protected:
    void Start(std::vector<sim::SimulatedDevice> devices)
    {
        sim::SimulatorOptions options;
        options.listenAddress = "127.0.0.1";
        options.port = 0;
        simulator = std::make_unique<sim::DeviceSimulator>(std::move(devices), options);
        manager = std::make_unique<OrvaneManagerPrivate>("127.0.0.1", simulator->Port());
        ASSERT_TRUE(simulator->WaitForReceived(1, std::chrono::seconds(5))) << "no greeting";
    }

    std::size_t Received() const { return simulator->Received().size(); }

    std::unique_ptr<sim::DeviceSimulator> simulator;
    std::unique_ptr<OrvaneManagerPrivate> manager;
};

inline sim::SimulatedDevice Device(std::string serial, std::string address,
                                   sim::SimulatedDevice::Answer answer = sim::SimulatedDevice::Answer::Accept,
                                   std::int8_t code = 0)
{
    return sim::SimulatedDevice {std::move(serial), std::move(address), answer, code};
}

} // namespace velqor::test

#endif // VELQOR_TEST_MANAGERFIXTURE_H
