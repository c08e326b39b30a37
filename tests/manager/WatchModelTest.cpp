// The event stream of a run without end against a model of devices that go
// silent, come back and move, with answers lost and late: no network, a
// clock of the test's. Whatever happened, once things have calmed down each
// device's last event says whether it answers, and from where.

#include "DeviceEvents.h"
#include "DeviceRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

using namespace std::chrono_literals;
using namespace velqor;

namespace {

using Clock = DeviceRegistry::Clock;

const NetworkInterface kWatchedLink {"eth0", 2, {10, 0, 0, 1}, 16};
// As the manager and orvane-cli run them.
constexpr auto kTick = 1000ms;
constexpr auto kPoll = 100ms;
constexpr auto kStep = 10ms;

struct ModelDevice {
    std::string serial;
    std::vector<Ipv4Bytes> addresses; // two for a serial two devices share
    Clock::time_point silentUntil;
};

struct Answer {
    Clock::time_point at;
    std::string serial;
    Ipv4Bytes from;
};

class Model {
public:
    // settle: how old a change must be to be taken (watch waits for a
    // twin's second answer; the window takes everything).
    Model(unsigned seed, std::chrono::milliseconds settle) : random(seed), settle(settle)
    {
        for (int i = 0; i < 40; ++i) {
            ModelDevice device {"S" + std::to_string(i), {{10, 0, 1, static_cast<unsigned char>(i + 10)}}, now};
            if (i == 39)
                device.addresses.push_back({10, 0, 2, 39});
            devices.push_back(device);
        }
    }

    // Time passes: queries go out, answers come in (some lost, some late),
    // the run forgets and the watcher polls, as they do. Loss on the wire
    // goes unseen; loss in our own buffers (dropped) is counted, and a
    // round with some is no proof of absence.
    void Run(std::chrono::milliseconds length, double loss, std::chrono::milliseconds jitter, bool chaos,
             double dropped = 0.0)
    {
        for (const auto end = now + length; now < end; now += kStep) {
            if (now >= nextTick) {
                if (!droppedInRound)
                    registry.CompleteRound(nextTick - kTick);
                droppedInRound = false;
                nextTick = now + kTick;
                registry.BeginRound();
                const std::vector<DeviceDetails> forgotten = registry.ExpireAbsent(now);
                gone.insert(gone.end(), forgotten.begin(), forgotten.end());
                for (const ModelDevice &device : devices) {
                    if (now < device.silentUntil)
                        continue;
                    for (const Ipv4Bytes &from : device.addresses) {
                        if (std::bernoulli_distribution(loss)(random))
                            continue;
                        if (dropped > 0 && std::bernoulli_distribution(dropped)(random)) {
                            droppedInRound = true;
                            continue;
                        }
                        const auto late =
                            std::chrono::milliseconds(std::uniform_int_distribution<long>(0, jitter.count())(random));
                        answers.push_back({now + late, device.serial, from});
                    }
                }
                if (chaos)
                    Stir();
            }
            for (auto answer = answers.begin(); answer != answers.end();) {
                if (answer->at > now) {
                    ++answer;
                    continue;
                }
                registry.Record(answer->serial, answer->from, kWatchedLink, now);
                answer = answers.erase(answer);
            }
            if (now >= nextPoll) {
                nextPoll = now + kPoll;
                const std::vector<DeviceEvent> taken = events.Take(gone, registry.TakeChanged(now - settle));
                gone.clear();
                for (const DeviceEvent &event : taken) {
                    ++counted[event.device.serial.Bytes()][event.kind];
                    if (event.device.serial.Bytes() != "S39")
                        continue;
                    // A move taken before the second half answered is
                    // undone once the change has settled.
                    const bool settled = twinKnownAt && now > *twinKnownAt + settle + kPoll;
                    twinMovesWhenKnown += settled && event.kind == DeviceEvent::Kind::Moved;
                    if (event.kind == DeviceEvent::Kind::Gone)
                        twinKnownAt.reset();
                }
                if (!twinKnownAt && registry.AnsweredFromSeveralAddresses(kTwin))
                    twinKnownAt = now;
            }
        }
    }

    // Things calm down: a silent device stays silent for good or answers
    // again now.
    void Calm()
    {
        for (ModelDevice &device : devices) {
            if (now < device.silentUntil)
                device.silentUntil = std::bernoulli_distribution(0.5)(random) ? now : now + std::chrono::hours(1);
        }
    }

    void Silence(std::size_t device) { devices[device].silentUntil = now + std::chrono::hours(1); }

    // Devices go silent for a while, come back, move.
    void Stir()
    {
        std::uniform_int_distribution<std::size_t> pick(0, devices.size() - 2);
        ModelDevice &device = devices[pick(random)];
        switch (std::uniform_int_distribution<int>(0, 2)(random)) {
        case 0:
            device.silentUntil =
                now + std::chrono::milliseconds(std::uniform_int_distribution<long>(500, 8000)(random));
            break;
        case 1:
            device.addresses[0][2] = static_cast<unsigned char>(device.addresses[0][2] == 1 ? 3 : 1);
            break;
        default:
            break;
        }
    }

    // Whatever the chaos, each device's last event matches it now.
    void ExpectConverged(unsigned seed)
    {
        for (const ModelDevice &device : devices) {
            const Ipv4Bytes *reported = events.Reported({"eth0", Serial(device.serial)});
            if (now < device.silentUntil) {
                EXPECT_EQ(reported, nullptr) << "seed " << seed << ": " << device.serial << " is silent";
                continue;
            }
            ASSERT_NE(reported, nullptr) << "seed " << seed << ": " << device.serial << " answers";
            EXPECT_NE(std::find(device.addresses.begin(), device.addresses.end(), *reported), device.addresses.end())
                << "seed " << seed << ": " << device.serial << " reported at " << FormatAddress(*reported);
        }
    }

    // The device two share: while no query has heard both, one half's
    // answers lost look like a move; once one query heard both, never.
    int TwinMovesWhenKnown() const { return twinMovesWhenKnown; }

    int GoneEvents()
    {
        int total = 0;
        for (auto &[serial, kinds] : counted)
            total += kinds[DeviceEvent::Kind::Gone];
        return total;
    }

private:
    std::mt19937 random;
    std::chrono::milliseconds settle;
    Clock::time_point now {std::chrono::hours(1)};
    Clock::time_point nextTick = now;
    Clock::time_point nextPoll = now;
    std::vector<ModelDevice> devices;
    std::vector<Answer> answers;
    DeviceRegistry registry;
    DeviceEvents events;
    std::vector<DeviceDetails> gone;
    bool droppedInRound = true; // no round before the first
    const DeviceId kTwin {"eth0", Serial("S39")};
    std::optional<Clock::time_point> twinKnownAt;
    int twinMovesWhenKnown = 0;
    std::map<std::string, std::map<DeviceEvent::Kind, int>> counted;
};

} // namespace

TEST(WatchModelTest, OnlyAnAddressThatChangesIsAMove)
{
    DeviceEvents events;
    DeviceDetails device;
    device.serial = Serial("S");
    device.address = {10, 0, 1, 1};
    device.via = kWatchedLink;
    ASSERT_EQ(events.Take({}, {device}).size(), 1u);
    device.via.address = {10, 0, 0, 2}; // another address of its interface hears it
    device.warnings.push_back(Diagnostic::Of(Diagnostic::Kind::SeveralAddresses, {}));
    EXPECT_TRUE(events.Take({}, {device}).empty());
    device.address = {10, 0, 1, 2};
    const std::vector<DeviceEvent> moved = events.Take({}, {device});
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].kind, DeviceEvent::Kind::Moved);
}

TEST(WatchModelTest, EachDevicesLastEventSaysWhetherItAnswersNow)
{
    for (unsigned seed = 1; seed <= 16; ++seed) {
        Model model(seed, seed % 2 == 0 ? 200ms : 0ms);
        for (int phase = 0; phase < 8; ++phase) {
            // A minute of lost and late answers and devices that come, go
            // and move; then it calms down: all that are there answer.
            model.Run(60s, 0.25, 900ms, true);
            model.Calm();
            model.Run(6s, 0.0, 50ms, false);
            model.ExpectConverged(seed);
        }
        EXPECT_EQ(model.TwinMovesWhenKnown(), 0) << "seed " << seed;
    }
}

TEST(WatchModelTest, AnswersOurBuffersDroppedMakeNoDeviceGone)
{
    // A segment larger than the socket buffer: every round drops some
    // answers, each device's now and then several rounds running.
    for (unsigned seed = 1; seed <= 4; ++seed) {
        Model model(seed, 0ms);
        model.Run(120s, 0.0, 900ms, false, 0.5);
        EXPECT_EQ(model.GoneEvents(), 0) << "seed " << seed;
        // One that stops answering is gone all the same, in bounded time.
        model.Silence(0);
        model.Run(DeviceRegistry::kForgetUnderLoss + 2s, 0.0, 900ms, false, 0.5);
        model.ExpectConverged(seed);
        EXPECT_EQ(model.GoneEvents(), 1) << "seed " << seed;
    }
}
