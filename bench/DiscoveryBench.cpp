// Discovery completeness: how many of N simulated devices, all answering at
// the same instant, one refresh of the table model finds, side by side with
// the reference receiver over the same 1500 ms with the same two queries.
// Run inside scripts/vlan: bench_discovery DEVICES RUNS

#include "OrvaneBase.h"
#include "OrvaneModel.h"
#include "Protocol.h"
#include "ReferenceReceiver.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::size_t ReferenceRun(int receiveBuffer)
{
    ReferenceReceiver receiver(receiveBuffer);
    std::set<std::string> serials;
    const auto started = std::chrono::steady_clock::now();
    bool repeated = false;
    receiver.SendTo(velqor::QueryCommand(), velqor::kBroadcastAddress, velqor::kDevicePort);
    receiver.ReceiveFor(
        1500ms,
        [&](const char *data, std::size_t length, std::uint32_t) {
            if (length >= 6 && std::string(data, 6) == velqor::kQueryReplyCode)
                serials.emplace(data + 6, length - 6);
        },
        [&] {
            if (!repeated && std::chrono::steady_clock::now() - started >= 1s) {
                repeated = true;
                receiver.SendTo(velqor::QueryCommand(), velqor::kBroadcastAddress, velqor::kDevicePort);
            }
        });
    // Late answers to a closed socket draw an ICMP error each, and each of
    // those a neighbour entry: thousands fill the table and later queries
    // never leave. Stay until they are over, as orvane-cli does.
    receiver.ReceiveFor(
        1000ms, [](const char *, std::size_t, std::uint32_t) {}, [] {});
    return serials.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (std::getenv("ORVANE_VLAN") == nullptr || argc < 3) {
        std::fprintf(stderr, "usage, inside scripts/vlan: bench_discovery DEVICES RUNS\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const int devices = std::atoi(argv[1]);
    const int runs = std::atoi(argv[2]);

    OrvaneModel model;
    std::vector<int> found, reference;
    double longestMs = 0;
    for (int run = 0; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        found.push_back(model.refresh());
        longestMs = std::max(
            longestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        std::this_thread::sleep_for(300ms);
        reference.push_back(static_cast<int>(ReferenceRun(velqor::kReceiveBufferBytes)));
        std::this_thread::sleep_for(300ms);
    }
    std::printf("discovery N=%d runs=%d\n  program  :", devices, runs);
    for (int n : found)
        std::printf(" %d", n);
    std::printf("\n  reference:");
    for (int n : reference)
        std::printf(" %d", n);
    const int programWorst = *std::min_element(found.begin(), found.end());
    const int referenceWorst = *std::min_element(reference.begin(), reference.end());
    std::printf("\n  worst program %d/%d, worst reference %d/%d, ratio %.3f; longest refresh %.0f ms\n", programWorst,
                devices, referenceWorst, devices, referenceWorst > 0 ? double(programWorst) / referenceWorst : 0.0,
                longestMs);
    return 0;
}
