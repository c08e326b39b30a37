#include "OrvaneBase.h"

#include "OrvaneLogger.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/system/system_error.hpp>

#include <exception>

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

OrvaneBase::OrvaneBase(std::string address, unsigned short remotePort, unsigned short localPort)
    : remoteEndpoint(boost::asio::ip::address_v4::any(), 0), senderEndpoint(boost::asio::ip::address_v4::any(), 0)
{
    remoteEndpoint = udp::endpoint(boost::asio::ip::make_address_v4(address), remotePort);
    ioService = std::make_shared<boost::asio::io_context>();
    socket = std::make_shared<udp::socket>(*ioService);
    socket->open(remoteEndpoint.protocol());
    socket->set_option(boost::asio::socket_base::broadcast(true));
    boost::system::error_code ignored; // a smaller buffer than asked for still works
    socket->set_option(boost::asio::socket_base::receive_buffer_size(kReceiveBufferBytes), ignored);
    if (localPort != 0)
        socket->bind(udp::endpoint(boost::asio::ip::address_v4::any(), localPort));
    Send(GreetingCommand());
    work.emplace(ioService->get_executor());
    ioThread = std::make_shared<boost::thread>(&OrvaneBase::RunIoService, this);
}

OrvaneBase::~OrvaneBase()
{
    Shutdown();
}

void OrvaneBase::Send(std::string datagram)
{
    socket->send_to(boost::asio::buffer(datagram), remoteEndpoint);
}

unsigned short OrvaneBase::LocalPort() const
{
    return socket->local_endpoint().port();
}

void OrvaneBase::Stop()
{
    if (stopped.exchange(true))
        return;
    ioService->stop();
    if (ioThread->joinable())
        ioThread->join();
    boost::system::error_code error;
    socket->close(error);
    if (error)
        throw boost::system::system_error(error, "close");
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

void OrvaneBase::StartReceive()
{
    socket->async_receive_from(boost::asio::buffer(receiveBuffer.data(), receiveBuffer.size() - 1), senderEndpoint,
                               [this](const boost::system::error_code &error, std::size_t bytesReceived) {
                                   AsyncReceiveCallback(error, bytesReceived);
                               });
}

void OrvaneBase::AsyncReceiveCallback(const boost::system::error_code &error, std::size_t bytesReceived)
{
    if (stopped || !Take(error, bytesReceived))
        return;
    // Take what else is already waiting without a round through the reactor:
    // answers to a broadcast come in bursts. A bounded batch keeps the timer
    // handlers on this thread on time.
    for (int taken = 0; taken < kDrainBatch && !stopped; ++taken) {
        boost::system::error_code drainError;
        if (socket->available(drainError) == 0 || drainError)
            break;
        const std::size_t length = socket->receive_from(
            boost::asio::buffer(receiveBuffer.data(), receiveBuffer.size() - 1), senderEndpoint, 0, drainError);
        if (!Take(drainError, length))
            return;
    }
    StartReceive();
}

bool OrvaneBase::Take(const boost::system::error_code &error, std::size_t bytesReceived)
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
    receiveBuffer[bytesReceived] = '\0';
    if (auto message = SplitDatagram(receiveBuffer.data(), bytesReceived, senderEndpoint.address().to_string())) {
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
