#ifndef VELQOR_TEST_NETWORK_H
#define VELQOR_TEST_NETWORK_H

#include <string>

namespace velqor::test {

/// Sends one datagram from a fresh socket bound to fromAddress.
void SendDatagram(const std::string &bytes, const std::string &toAddress, unsigned short toPort,
                  const std::string &fromAddress = "127.0.0.1");

/// Whether a datagram sent from 127.0.0.7 arrives from there. Wine sends
/// every loopback datagram from 127.0.0.1, whatever the socket is bound to.
bool LoopbackSourcesKept();

/// Whether this is a Windows build running under Wine.
bool UnderWine();

/// True inside scripts/vlan. Tests that send to the broadcast address or to
/// the device port skip themselves everywhere else.
bool InVirtualLan();

/// Takes a virtual LAN interface down or up. Up returns once the kernel
/// reports it running: carrier comes up some time after the command, and
/// until then the interface has no usable route.
bool SetLink(const std::string &name, bool up);

} // namespace velqor::test

/// Skips the current test unless it runs inside the virtual LAN.
#define ORVANE_REQUIRE_VIRTUAL_LAN()                                                                                   \
    do {                                                                                                               \
        if (!::velqor::test::InVirtualLan())                                                                           \
            GTEST_SKIP() << "broadcasts: runs only inside scripts/vlan";                                               \
    } while (false)

/// Skips the current test where loopback addresses other than 127.0.0.1
/// cannot be told apart as senders.
#define ORVANE_REQUIRE_LOOPBACK_SOURCES()                                                                              \
    do {                                                                                                               \
        if (!::velqor::test::LoopbackSourcesKept())                                                                    \
            GTEST_SKIP() << "every loopback datagram arrives from 127.0.0.1 here (Wine)";                              \
    } while (false)

#endif // VELQOR_TEST_NETWORK_H
