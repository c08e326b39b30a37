#ifndef VELQOR_ORVANEBASE_H
#define VELQOR_ORVANEBASE_H

#include "Message.h"
#include "Protocol.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/thread.hpp>

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace velqor {

/// Receive buffer asked of the system, which grants at most its own limit.
/// Thousands of devices answer a query within milliseconds; whatever the
/// buffer cannot hold until the I/O thread takes it is lost.
constexpr int kReceiveBufferBytes = 16 * 1024 * 1024;

/// A UDP endpoint toward the devices: owns the socket, a private I/O service
/// and the thread that runs it, and hands every received datagram to
/// HandleMessage on that thread.
class OrvaneBase {
public:
    /// Opens the socket toward address:remotePort with broadcast enabled, binds
    /// localPort unless it is 0, sends the greeting and starts the I/O thread.
    /// Throws boost::system::system_error on failure.
    OrvaneBase(std::string address, unsigned short remotePort, unsigned short localPort);
    OrvaneBase(const OrvaneBase &) = delete;
    OrvaneBase &operator=(const OrvaneBase &) = delete;

    /// Sends one datagram to the remote endpoint; callable from any thread.
    void Send(std::string datagram);

    /// The local port that answers come back to.
    unsigned short LocalPort() const;

protected:
    ~OrvaneBase();

    /// Called on the I/O thread for every datagram of at least 6 bytes.
    virtual void HandleMessage(Message message) = 0;

    /// Stops and joins the I/O thread, then closes the socket. Safe to call
    /// again; must not be called from the I/O thread.
    void Stop();

    /// Stop for destructors: a failure is logged, never thrown.
    void Shutdown() noexcept;

    /// Whether the caller runs on the I/O thread, where a wait for one of its
    /// own handlers would never end.
    bool OnIoThread() const;

    /// Arms the receive loop. The most-derived constructor calls it last, so
    /// that no datagram reaches HandleMessage before the object is complete;
    /// until then datagrams wait in the socket.
    void StartReceive();

    /// The I/O service; subclasses put their timers on it.
    std::shared_ptr<boost::asio::io_context> ioService;

private:
    void AsyncReceiveCallback(const boost::system::error_code &error, std::size_t bytesReceived);
    /// Handles one completed receive: hands the datagram on, or drops or
    /// reports it. False when the socket is gone and receiving must end.
    bool Take(const boost::system::error_code &error, std::size_t bytesReceived);
    void RunIoService();

    std::shared_ptr<boost::asio::ip::udp::socket> socket;
    std::shared_ptr<boost::thread> ioThread;
    /// Keeps run() waiting even while no receive is outstanding, so the I/O
    /// thread sleeps instead of spinning.
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work;
    boost::asio::ip::udp::endpoint remoteEndpoint;
    boost::asio::ip::udp::endpoint senderEndpoint;
    /// One byte beyond the longest datagram taken in tells a longer one apart,
    /// and one more keeps the data terminated.
    std::array<char, kMaxDatagramLength + 2> receiveBuffer {};
    std::atomic<bool> stopped {false};
};

} // namespace velqor

#endif // VELQOR_ORVANEBASE_H
