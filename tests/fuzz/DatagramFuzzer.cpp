// libFuzzer target: arbitrary datagrams through the receive path's split into
// the manager's handler, with searches and address changes in flight so that
// set-address answers have operations to end. Built by the "fuzz" preset.

#include "OrvaneManagerPrivate.h"
#include "Protocol.h"

#include <cstddef>
#include <cstdint>

namespace {

/// A manager on loopback whose handler the fuzzer calls directly.
class FuzzedManager : public velqor::OrvaneManagerPrivate {
public:
    FuzzedManager() : OrvaneManagerPrivate("127.0.0.1", 9) { }
    using OrvaneManagerPrivate::HandleMessage;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzedManager manager;
    static std::uint32_t inputs = 0;
    // Every new serial stays in the registry; a periodic clear bounds memory.
    if (++inputs % 65536 == 0)
        manager.Clear();
    if (size == 0)
        return 0;
    // The first byte steers what is in flight; the rest is the datagram.
    const std::uint8_t steer = data[0];
    const char *datagram = reinterpret_cast<const char *>(data + 1);
    if (steer % 8 == 1)
        manager.Search(steer % 2 == 0 ? 0 : 50, false, nullptr);
    if (auto message = velqor::SplitDatagram(datagram, size - 1, {10, 0, 0, 1}))
        manager.HandleMessage(std::move(*message));
    if (steer % 16 == 3)
        manager.GetDevices();
    if (steer == 0xFF)
        manager.Clear();
    return 0;
}
