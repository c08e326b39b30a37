#ifndef VELQOR_ORVANEBASE_H
#define VELQOR_ORVANEBASE_H

#include "Message.h"
#include "NetworkInterface.h"
#include "Protocol.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/thread.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

/// Receive buffer asked of the system, which grants at most its own limit.
/// Thousands of devices answer a query within milliseconds; whatever the
/// buffer cannot hold until the I/O thread takes it is lost. 64 MiB holds
/// the answers of a full list (65,536 devices) at about 1 KiB each as the
/// system counts them.
constexpr int kReceiveBufferBytes = 64 * 1024 * 1024;

/// A UDP endpoint toward the devices: owns the sockets, a private I/O service
/// and the thread that runs it, and hands every received datagram to
/// HandleMessage on that thread. Only that thread touches the sockets: every
/// call from elsewhere is posted to it and waits for its result.
///
/// Aimed at the limited broadcast address, a broadcast leaves through one
/// interface only, the one the routing table picks. So the endpoint keeps one
/// socket per network of the workstation, each bound to its interface's
/// address, sends every datagram on each, and tags what arrives with the
/// interface of the socket it reached. Without any network it falls back to
/// one unbound socket; a unicast target has that one socket too.
class OrvaneBase {
public:
    /// Opens the sockets toward address:remotePort with broadcast enabled,
    /// binds localPort unless it is 0 (one-socket mode only), sends the
    /// greeting and starts the I/O thread. With a lister, or aimed at the
    /// limited broadcast address, it keeps one socket per listed interface.
    /// Throws boost::system::system_error on failure.
    OrvaneBase(std::string address, unsigned short remotePort, unsigned short localPort, InterfaceLister lister = {});
    OrvaneBase(const OrvaneBase &) = delete;
    OrvaneBase &operator=(const OrvaneBase &) = delete;

    /// Sends one datagram to the remote endpoint on every socket; callable
    /// from any thread, returns once it is sent. A failure on one interface is logged and skipped;
    /// throws "send_to" only when every socket failed.
    void Send(std::string datagram);
    /// Sends on the socket of that interface address alone; on all for no
    /// particular interface (an empty name). Throws "send_to" with
    /// network_down when that interface has no socket (it went down): what
    /// is meant for a device on one link never leaves by another.
    void SendVia(std::string datagram, const NetworkInterface &via);

    /// Sends an empty datagram to the discard port of each address from the
    /// socket of that interface address, so that the system resolves who
    /// answers for them on that link (see ListNeighbours). Nothing when the
    /// interface has no socket.
    void Probe(const NetworkInterface &via, const std::vector<Ipv4Bytes> &addresses);

    /// The local port that answers come back to: of that interface
    /// address's socket, of the first one when none is named.
    unsigned short LocalPort(const NetworkInterface &via = {}) const;
    /// The interfaces that have a socket now; empty in one-socket mode.
    std::vector<NetworkInterface> Interfaces() const;
    /// Datagrams the system dropped on the open sockets since they were
    /// opened, their receive buffers being full; 0 where it does not say.
    std::uint64_t DroppedDatagrams() const;
    /// When the last datagram arrived; the epoch when none has.
    std::chrono::steady_clock::time_point LastReceived() const;

protected:
    ~OrvaneBase();

    /// Called on the I/O thread for every datagram of at least 6 bytes.
    virtual void HandleMessage(Message message) = 0;

    /// Reads the interface list again: a new interface gets a socket, a
    /// vanished one is closed. Does nothing in one-socket mode.
    void RefreshInterfaces();

    /// Stops and joins the I/O thread, then closes the sockets. Safe to call
    /// again; must not be called from the I/O thread.
    void Stop();

    /// Runs work on the I/O thread and returns when it is done, passing on
    /// what it throws; runs it at once when called there.
    void Call(const std::function<void()> &work) const;

    /// Stop for destructors: a failure is logged, never thrown.
    void Shutdown() noexcept;

    /// Whether the caller runs on the I/O thread, where a wait for one of its
    /// own handlers would never end.
    bool OnIoThread() const;

    /// Arms the receive loop. The most-derived constructor calls it last, so
    /// that no datagram reaches HandleMessage before the object is complete;
    /// until then datagrams wait in the sockets.
    void StartReceive();

    /// The I/O service; subclasses put their timers on it and arm them on
    /// the I/O thread.
    std::shared_ptr<boost::asio::io_context> ioService;

private:
    /// One socket with its own receive state.
    struct Channel {
        explicit Channel(boost::asio::io_context &io) : socket(io) { }
        boost::asio::ip::udp::socket socket;
        NetworkInterface via;
        boost::asio::ip::udp::endpoint sender;
        /// One byte beyond the longest datagram taken in tells a longer one
        /// apart, and one more keeps the data terminated.
        std::array<char, kMaxDatagramLength + 2> buffer {};
    };
    using ChannelPtr = std::shared_ptr<Channel>;

    /// Opens a socket, bound to the interface's address when it has a name.
    ChannelPtr Open(const NetworkInterface &via, unsigned short localPort);
    /// The following run on the I/O thread.
    void Refresh();
    void Arm(const ChannelPtr &channel);
    void AsyncReceiveCallback(const ChannelPtr &channel, const boost::system::error_code &error,
                              std::size_t bytesReceived);
    /// Handles one completed receive: hands the datagram on, or drops or
    /// reports it. False when the socket is gone and receiving must end.
    bool Take(Channel &channel, const boost::system::error_code &error, std::size_t bytesReceived);
    void SendOn(const std::vector<ChannelPtr> &targets, const std::string &datagram);
    void RunIoService();

    std::shared_ptr<boost::thread> ioThread;
    /// Keeps run() waiting even while no receive is outstanding, so the I/O
    /// thread sleeps instead of spinning.
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work;
    boost::asio::ip::udp::endpoint remoteEndpoint;
    InterfaceLister lister;
    /// Touched on the I/O thread only (and after it has ended).
    std::vector<ChannelPtr> channels;
    bool receiving = false;
    std::atomic<bool> stopped {false};
    std::atomic<std::chrono::steady_clock::rep> lastReceived {0};
};

} // namespace velqor

#endif // VELQOR_ORVANEBASE_H
