#include "Network.h"
#include "OrvaneBase.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>

using namespace std::chrono_literals;

namespace {

class Collector : public velqor::OrvaneBase {
public:
    Collector() : OrvaneBase(velqor::kBroadcastAddress, velqor::kDevicePort, 0) { StartReceive(); }
    ~Collector() { Stop(); }

    std::map<std::string, std::string> WaitForAnswers(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 5s, [&] { return answers.size() >= count; });
        return answers;
    }

protected:
    void HandleMessage(velqor::Message message) override
    {
        if (!velqor::IsQueryReply(message))
            return;
        std::lock_guard<std::mutex> lock(mutex);
        answers[message.payload] = message.sender;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::string> answers;
};

} // namespace

// Run by scripts/vlan with three generated devices and a recording.
TEST(LinkVirtualLanTest, BroadcastReachesEveryDeviceAndAnswersCarryTheirAddresses)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    Collector endpoint;
    endpoint.Send(velqor::QueryCommand());
    const auto answers = endpoint.WaitForAnswers(3);
    EXPECT_EQ(answers,
              (std::map<std::string, std::string> {
                  {"ORV000000", "10.100.0.1"}, {"ORV000001", "10.100.0.2"}, {"ORV000002", "10.100.0.3"}}));

    std::ifstream record(std::getenv("ORVANE_VLAN_RECORD"));
    std::string seconds, source, hex;
    ASSERT_TRUE(record >> seconds >> source >> hex);
    EXPECT_EQ(source.substr(0, source.find(':')), "10.77.0.1");
    EXPECT_EQ(hex, "515650505050") << "the greeting QVPPPP comes first";
    ASSERT_TRUE(record >> seconds >> source >> hex);
    EXPECT_EQ(hex, "515643515245") << "then the query QVCQRE";
}
