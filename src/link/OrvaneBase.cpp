#include "OrvaneBase.h"

#include "OrvaneLogger.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <exception>
#include <future>

namespace velqor {

using boost::asio::ip::udp;
using boost::log::trivial::severity_level;

namespace {

constexpr int kDrainBatch = 64;

void ReportOversized()
{
    BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
        << "OrvaneBase: dropped a datagram longer than " << kMaxDatagramLength << " bytes";
}

} // namespace

OrvaneBase::OrvaneBase(std::string address, unsigned short remotePort, unsigned short localPort,
                       InterfaceLister interfaceLister)
    : remoteEndpoint(boost::asio::ip::make_address_v4(address), remotePort), lister(std::move(interfaceLister))
{
    if (!lister && remoteEndpoint.address() == boost::asio::ip::address_v4::broadcast())
        lister = ListNetworkInterfaces;
    ioService = std::make_shared<boost::asio::io_context>();
    work.emplace(ioService->get_executor());
    ioThread = std::make_shared<boost::thread>(&OrvaneBase::RunIoService, this);
    try {
        Call([&] {
            if (lister)
                Refresh();
            else
                channels.push_back(Open({}, localPort));
            SendOn(channels, GreetingCommand());
        });
    } catch (...) {
        Shutdown();
        throw;
    }
}

OrvaneBase::~OrvaneBase()
{
    Shutdown();
}

OrvaneBase::ChannelPtr OrvaneBase::Open(const NetworkInterface &via, unsigned short localPort)
{
    auto channel = std::make_shared<Channel>(*ioService);
    channel->via = via;
    channel->socket.open(udp::v4());
    channel->socket.set_option(boost::asio::socket_base::broadcast(true));
    RequestReceiveBuffer(channel->socket, kReceiveBufferBytes);
    if (!via.name.empty()) {
        // The answer comes back to the address it was sent from, so the
        // socket it reaches names the network it came from.
        channel->socket.bind(udp::endpoint(boost::asio::ip::address_v4(via.address), 0));
        if (!BindToInterface(channel->socket, via))
            BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
                << "OrvaneBase: cannot tie the socket to " << via.name;
    } else if (localPort != 0) {
        channel->socket.bind(udp::endpoint(boost::asio::ip::address_v4::any(), localPort));
    }
    return channel;
}

void OrvaneBase::RefreshInterfaces()
{
    if (lister)
        Call([this] { Refresh(); });
}

void OrvaneBase::Refresh()
{
    const std::vector<NetworkInterface> listed = lister();
    std::vector<ChannelPtr> kept;
    ChannelPtr fallback;
    for (const ChannelPtr &channel : channels) {
        if (channel->via.name.empty()) {
            fallback = channel;
        } else if (std::find(listed.begin(), listed.end(), channel->via) != listed.end()) {
            kept.push_back(channel);
        } else {
            BOOST_LOG_SEV(my_logger::get(), severity_level::info)
                << "OrvaneBase: " << channel->via.name << " " << channel->via.SubnetText() << " is gone";
            boost::system::error_code ignored;
            channel->socket.close(ignored);
        }
    }
    for (const NetworkInterface &via : listed) {
        const bool open = std::any_of(kept.begin(), kept.end(), [&](const ChannelPtr &c) { return c->via == via; });
        if (open)
            continue;
        try {
            kept.push_back(Open(via, 0));
            if (receiving)
                Arm(kept.back());
            BOOST_LOG_SEV(my_logger::get(), severity_level::info)
                << "OrvaneBase: searching on " << via.name << " " << via.SubnetText();
        } catch (const boost::system::system_error &e) {
            BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
                << "OrvaneBase: cannot use " << via.name << " " << via.SubnetText() << ": " << e.what();
        }
    }
    if (kept.empty()) {
        // No network to choose: the routing table decides, as one socket would.
        if (!fallback) {
            fallback = Open({}, 0);
            if (receiving)
                Arm(fallback);
        }
        kept.push_back(fallback);
    } else if (fallback) {
        boost::system::error_code ignored;
        fallback->socket.close(ignored);
    }
    channels.swap(kept);
}

void OrvaneBase::Send(std::string datagram)
{
    Call([&] { SendOn(channels, datagram); });
}

void OrvaneBase::SendVia(std::string datagram, const NetworkInterface &via)
{
    Call([&] {
        if (via.name.empty()) {
            SendOn(channels, datagram);
            return;
        }
        const auto found = std::find_if(channels.begin(), channels.end(),
                                        [&](const ChannelPtr &channel) { return channel->via == via; });
        if (found == channels.end())
            throw boost::system::system_error(boost::asio::error::network_down, "send_to");
        SendOn({*found}, datagram);
    });
}

void OrvaneBase::Probe(const NetworkInterface &via, const std::vector<Ipv4Bytes> &addresses)
{
    constexpr unsigned short kDiscardPort = 9;
    Call([&] {
        const auto found = std::find_if(channels.begin(), channels.end(), [&](const ChannelPtr &channel) {
            return !via.name.empty() && channel->via == via;
        });
        if (found == channels.end())
            return;
        // A socket of its own: a datagram to an address still being resolved
        // waits in the system, charged to its socket, and a full socket would
        // hold up the queries on the channel's.
        udp::socket probe(*ioService);
        boost::system::error_code failed;
        probe.open(udp::v4(), failed);
        if (!failed)
            probe.bind(udp::endpoint(boost::asio::ip::address_v4(via.address), 0), failed);
        if (failed || !BindToInterface(probe, via))
            return;
        for (const Ipv4Bytes &address : addresses) {
            boost::system::error_code ignored; // whoever does not answer is what is asked
            probe.send_to(boost::asio::buffer("", 0), udp::endpoint(boost::asio::ip::address_v4(address), kDiscardPort),
                          0, ignored);
        }
    });
}

void OrvaneBase::SendOn(const std::vector<ChannelPtr> &targets, const std::string &datagram)
{
    boost::system::error_code lastError = boost::asio::error::network_unreachable;
    std::vector<ChannelPtr> failed;
    bool sent = false;
    for (const ChannelPtr &channel : targets) {
        boost::system::error_code error;
        channel->socket.send_to(boost::asio::buffer(datagram), remoteEndpoint, 0, error);
        if (!error) {
            sent = true;
            continue;
        }
        lastError = error;
        if (!channel->via.name.empty()) {
            BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
                << "OrvaneBase: send on " << channel->via.name << " failed: " << error.message();
            failed.push_back(channel);
        }
    }
    // A socket whose send failed is opened anew by the next refresh, should
    // its interface still be there.
    for (const ChannelPtr &channel : failed) {
        boost::system::error_code ignored;
        channel->socket.close(ignored);
        channels.erase(std::remove(channels.begin(), channels.end(), channel), channels.end());
    }
    if (!sent)
        throw boost::system::system_error(lastError, "send_to");
}

unsigned short OrvaneBase::LocalPort(const NetworkInterface &via) const
{
    unsigned short port = 0;
    Call([&] {
        for (const ChannelPtr &channel : channels) {
            if (via.name.empty() || channel->via == via) {
                port = channel->socket.local_endpoint().port();
                return;
            }
        }
    });
    return port;
}

std::vector<NetworkInterface> OrvaneBase::Interfaces() const
{
    std::vector<NetworkInterface> list;
    Call([&] {
        for (const ChannelPtr &channel : channels) {
            if (!channel->via.name.empty())
                list.push_back(channel->via);
        }
    });
    return list;
}

std::uint64_t OrvaneBase::DroppedDatagrams() const
{
    std::uint64_t dropped = 0;
    Call([&] {
        for (const ChannelPtr &channel : channels)
            dropped += ReceiveDrops(channel->socket).value_or(0);
    });
    return dropped;
}

std::chrono::steady_clock::time_point OrvaneBase::LastReceived() const
{
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(lastReceived.load(std::memory_order_relaxed)));
}

void OrvaneBase::Stop()
{
    if (stopped.exchange(true))
        return;
    ioService->stop();
    if (ioThread->joinable())
        ioThread->join();
    // The I/O thread has ended: the sockets are this thread's now.
    boost::system::error_code firstError;
    for (const ChannelPtr &channel : channels) {
        boost::system::error_code error;
        channel->socket.close(error);
        if (error && !firstError)
            firstError = error;
    }
    channels.clear();
    if (firstError)
        throw boost::system::system_error(firstError, "close");
}

void OrvaneBase::Shutdown() noexcept
{
    try {
        Stop();
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneBase: " << e.what();
    }
}

bool OrvaneBase::OnIoThread() const
{
    return ioThread->get_id() == boost::this_thread::get_id();
}

void OrvaneBase::Call(const std::function<void()> &work) const
{
    if (OnIoThread() || stopped) {
        work();
        return;
    }
    std::promise<void> done;
    boost::asio::post(*ioService, [&] {
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Out of the handler first: the caller may read the exception (what()
        // fills its text) as soon as it is handed over, and this thread must
        // no longer hold it then.
        if (failure)
            done.set_exception(std::move(failure));
        else
            done.set_value();
    });
    done.get_future().get();
}

void OrvaneBase::StartReceive()
{
    Call([this] {
        receiving = true;
        for (const ChannelPtr &channel : channels)
            Arm(channel);
    });
}

void OrvaneBase::Arm(const ChannelPtr &channel)
{
    channel->socket.async_receive_from(
        boost::asio::buffer(channel->buffer.data(), channel->buffer.size() - 1), channel->sender,
        [this, channel](const boost::system::error_code &error, std::size_t bytesReceived) {
            AsyncReceiveCallback(channel, error, bytesReceived);
        });
}

void OrvaneBase::AsyncReceiveCallback(const ChannelPtr &channel, const boost::system::error_code &error,
                                      std::size_t bytesReceived)
{
    if (stopped || !Take(*channel, error, bytesReceived))
        return;
    // Take what else is already waiting without a round through the reactor:
    // answers to a broadcast come in bursts. A bounded batch keeps the timer
    // handlers on this thread on time.
    for (int taken = 0; taken < kDrainBatch && !stopped; ++taken) {
        boost::system::error_code drainError;
        if (!channel->socket.is_open() || channel->socket.available(drainError) == 0 || drainError)
            break;
        const std::size_t length = channel->socket.receive_from(
            boost::asio::buffer(channel->buffer.data(), channel->buffer.size() - 1), channel->sender, 0, drainError);
        if (!Take(*channel, drainError, length))
            return;
    }
    if (channel->socket.is_open())
        Arm(channel);
}

bool OrvaneBase::Take(Channel &channel, const boost::system::error_code &error, std::size_t bytesReceived)
{
    if (error == boost::asio::error::operation_aborted || error == boost::asio::error::bad_descriptor)
        return false; // The socket is gone: there is nothing left to receive from.
    if (error == boost::asio::error::message_size) {
        // Platforms that refuse to cut a datagram short say so here instead.
        ReportOversized();
        return true;
    }
    if (error) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error)
            << "OrvaneBase: Socket recieve error. Socket error code " << error.value();
        return true;
    }
    lastReceived.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    channel.buffer[bytesReceived] = '\0';
    if (auto message =
            SplitDatagram(channel.buffer.data(), bytesReceived, channel.sender.address().to_v4().to_bytes())) {
        message->via = channel.via;
        try {
            HandleMessage(std::move(*message));
        } catch (const std::exception &e) {
            BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneBase::HandleMessage: " << e.what();
        }
    } else if (bytesReceived > kMaxDatagramLength) {
        ReportOversized();
    }
    BOOST_LOG_SEV(my_logger::get(), severity_level::trace) << "OrvaneBase::AsyncReceiveCallback :" << bytesReceived;
    return true;
}

void OrvaneBase::RunIoService()
{
    // A handler that throws ends run(); the error is reported and the service
    // resumes with whatever was still pending, the outstanding receive included.
    while (!stopped) {
        try {
            ioService->run();
        } catch (const std::exception &e) {
            BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneBase: I/O thread: " << e.what();
        }
    }
}

} // namespace velqor
