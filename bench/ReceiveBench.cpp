// Receive path: datagrams per second that the endpoint and the manager's
// handler take into the registry under a loopback flood, against the
// reference receiver with the same socket buffer. Loopback only.
// bench_receive [DATAGRAMS] [ROUNDS]

#include "OrvaneManagerPrivate.h"
#include "ReferenceReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

/// Counts what reaches the manager's handler.
class CountingManager : public velqor::OrvaneManagerPrivate {
public:
    explicit CountingManager(unsigned short port) : OrvaneManagerPrivate("127.0.0.1", port) { }
    ~CountingManager() { Shutdown(); }

    std::atomic<std::size_t> handled {0};

protected:
    void HandleMessage(velqor::Message message) override
    {
        OrvaneManagerPrivate::HandleMessage(std::move(message));
        handled.fetch_add(1, std::memory_order_relaxed);
    }
};

/// Sends count answers of 4096 different devices to port at a fixed rate
/// (datagrams per second), in batches of 50.
void Flood(unsigned short port, std::size_t count, double rate)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from {};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::vector<std::string> answers;
    for (int i = 0; i < 4096; ++i)
        answers.push_back("VQCQREORV" + std::to_string(100000 + i));
    const auto started = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 50 == 0) {
            const auto due =
                started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(i / rate));
            while (Clock::now() < due) { }
        }
        const std::string &answer = answers[i % answers.size()];
        sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    close(fd);
}

/// Floods at rate, waits until the counter stands still, returns the share taken.
double Measure(unsigned short port, std::size_t count, double rate, const std::atomic<std::size_t> &counter)
{
    const std::size_t before = counter.load();
    std::thread sender(Flood, port, count, rate);
    sender.join();
    std::size_t last = counter.load();
    auto lastChange = Clock::now();
    while (Clock::now() - lastChange < 200ms) {
        std::this_thread::sleep_for(5ms);
        const std::size_t now = counter.load();
        if (now != last) {
            last = now;
            lastChange = Clock::now();
        }
    }
    return double(last - before) / count;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    ReferenceReceiver peer(0); // where the manager's own commands go
    std::printf("receive path: %zu datagrams a round at each offered rate, median of %d rounds\n", count, rounds);
    std::printf("  offered/s   program taken/s   reference taken/s   ratio\n");
    for (double rate : {50000.0, 100000.0, 200000.0, 400000.0}) {
        std::vector<double> program, reference;
        for (int round = 0; round < rounds; ++round) {
            {
                CountingManager manager(peer.Port());
                program.push_back(Measure(manager.LocalPort(), count, rate, manager.handled));
            }
            ReferenceReceiver receiver(velqor::kReceiveBufferBytes);
            std::atomic<std::size_t> received {0};
            std::atomic<bool> running {true};
            std::thread loop([&] {
                while (running)
                    receiver.ReceiveFor(50ms, [&](const char *, std::size_t, std::uint32_t) {
                        received.fetch_add(1, std::memory_order_relaxed);
                    });
            });
            reference.push_back(Measure(receiver.Port(), count, rate, received));
            running = false;
            loop.join();
        }
        const double p = Median(program) * rate, r = Median(reference) * rate;
        std::printf("  %9.0f   %15.0f   %17.0f   %5.3f\n", rate, p, r, p / r);
    }
    return 0;
}
