#ifndef VELQOR_BENCH_REFERENCERECEIVER_H
#define VELQOR_BENCH_REFERENCERECEIVER_H

// The yardstick of the benchmarks: one blocking UDP socket and a plain
// receive loop that only counts. Linux only, like the virtual LAN.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class ReferenceReceiver {
public:
    /// Opens a socket with broadcast enabled and, when receiveBuffer is not 0,
    /// asks for that receive buffer size.
    explicit ReferenceReceiver(int receiveBuffer);
    ReferenceReceiver(const ReferenceReceiver &) = delete;
    ReferenceReceiver &operator=(const ReferenceReceiver &) = delete;
    ~ReferenceReceiver();

    void SendTo(const std::string &datagram, const char *address, std::uint16_t port);
    std::uint16_t Port() const;
    int ReceiveBufferSize() const;

    /// Receives for the given time; onDatagram sees each datagram's bytes and
    /// source address, tick runs after every receive attempt (at least every
    /// 5 ms). Returns the datagrams received.
    std::size_t ReceiveFor(std::chrono::milliseconds duration,
                           const std::function<void(const char *, std::size_t, std::uint32_t)> &onDatagram,
                           const std::function<void()> &tick = {});

private:
    int fd;
};

#endif // VELQOR_BENCH_REFERENCERECEIVER_H
