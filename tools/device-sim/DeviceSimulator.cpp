#include "DeviceSimulator.h"

#include "Protocol.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

namespace velqor::sim {

using boost::asio::ip::udp;

namespace {

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

std::string DottedText(const Ipv4Bytes &address)
{
    return boost::asio::ip::address_v4(address).to_string();
}

} // namespace

DeviceSimulator::DeviceSimulator(std::vector<SimulatedDevice> devices, SimulatorOptions options)
    : options(std::move(options)),
      listen(io),
      random(this->options.seed),
      devices(std::move(devices)),
      started(std::chrono::steady_clock::now())
{
    if (!this->options.recordPath.empty()) {
        recordFile.open(this->options.recordPath, std::ios::out | std::ios::trunc);
        if (!recordFile)
            throw std::runtime_error("cannot write " + this->options.recordPath);
    }
    const udp::endpoint listenEndpoint(boost::asio::ip::make_address_v4(this->options.listenAddress),
                                       this->options.port);
    listen.socket.open(udp::v4());
    listen.socket.set_option(boost::asio::socket_base::reuse_address(true));
    listen.socket.bind(listenEndpoint);
    for (const SimulatedDevice &device : this->devices)
        SocketFor(device.address);
    StartReceive(listen);
    work.emplace(io.get_executor());
    thread = std::thread([this] { io.run(); });
}

DeviceSimulator::~DeviceSimulator()
{
    io.stop();
    thread.join();
}

unsigned short DeviceSimulator::Port() const
{
    return listen.socket.local_endpoint().port();
}

std::vector<ReceivedDatagram> DeviceSimulator::Received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

bool DeviceSimulator::WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return receivedChanged.wait_for(lock, timeout, [&] { return received.size() >= count; });
}

std::string DeviceSimulator::AddressOf(const std::string &serial) const
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const SimulatedDevice &device : devices) {
        if (device.serial == serial)
            return device.address;
    }
    return {};
}

void DeviceSimulator::StartReceive(Receiver &port)
{
    port.socket.async_receive_from(boost::asio::buffer(port.buffer), port.sender,
                                   [this, &port](const boost::system::error_code &error, std::size_t length) {
                                       if (error == boost::asio::error::operation_aborted ||
                                           error == boost::asio::error::bad_descriptor)
                                           return;
                                       if (!error)
                                           Handle(port, length);
                                       StartReceive(port);
                                   });
}

void DeviceSimulator::Handle(const Receiver &port, std::size_t length)
{
    const std::string bytes(port.buffer.data(), length);
    Record(port, bytes);
    // What arrived at one device address's own socket is for the devices there.
    const auto hears = [&](const SimulatedDevice &device) {
        return port.address.empty() || device.address == port.address;
    };
    const std::optional<Message> message = SplitDatagram(bytes.data(), bytes.size(), {});
    if (!message)
        return;

    if (message->code == kQueryCode) {
        std::bernoulli_distribution lost(options.lossRate);
        const auto since = std::chrono::steady_clock::now() - started;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const bool paused = since >= devices[i].pauseAt && since < devices[i].pauseAt + devices[i].pauseFor;
            if (devices[i].setAddressAnswer != SimulatedDevice::Answer::AcknowledgeEveryChange && !paused &&
                !devices[i].asleep && hears(devices[i]) && !lost(random))
                Answer(devices[i].address, QueryReply(devices[i].serial), devices[i].extraDelay, port.sender);
        }
        if (options.junkPerQuery > 0)
            SendJunk(port.sender, options.junkPerQuery);
        return;
    }

    const std::optional<SetAddressRequest> request = ParseSetAddressCommand(*message);
    if (!request)
        return;
    for (std::size_t index = 0; index < devices.size(); ++index) {
        SimulatedDevice &device = devices[index];
        const auto delay = device.extraDelay + device.changeDelay;
        if (!hears(device))
            continue;
        if (device.setAddressAnswer == SimulatedDevice::Answer::AcknowledgeEveryChange) {
            const std::string claimed = DottedText(request->address);
            SocketFor(claimed);
            Answer(claimed, SetAddressAccepted(), delay, port.sender);
            continue;
        }
        if (device.serial != request->serial)
            continue;
        if (device.asleep) {
            device.asleep = false; // woken, too late for this change
            continue;
        }
        switch (device.setAddressAnswer) {
        case SimulatedDevice::Answer::Accept:
        case SimulatedDevice::Answer::MoveSilently: {
            // Moved before the acceptance leaves: whoever hears it may ask at once.
            const std::string oldAddress = device.address;
            const std::string newAddress = DottedText(request->address);
            SocketFor(newAddress);
            {
                std::lock_guard<std::mutex> lock(mutex);
                device.address = newAddress;
            }
            if (device.replay.count() > 0 && !device.lastChangedTo.empty())
                Replay(index, device.lastChangedTo, device.replay);
            device.lastChangedTo = newAddress;
            if (device.acceptOnly > 0 && --device.acceptOnly == 0)
                device.setAddressAnswer = SimulatedDevice::Answer::Refuse; // the next ones
            if (device.restart.count() > 0) {
                device.pauseAt =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
                device.pauseFor = device.restart;
            }
            if (device.setAddressAnswer == SimulatedDevice::Answer::Accept)
                Answer(oldAddress, SetAddressAccepted(), delay, port.sender);
            break;
        }
        case SimulatedDevice::Answer::Refuse:
            Answer(device.address, SetAddressRefused(device.refusalCode), delay, port.sender);
            break;
        case SimulatedDevice::Answer::AcknowledgeAndStay:
            Answer(device.address, SetAddressAccepted(), delay, port.sender);
            break;
        case SimulatedDevice::Answer::Silent:
        case SimulatedDevice::Answer::AcknowledgeEveryChange:
            break;
        }
    }
}

void DeviceSimulator::Replay(std::size_t device, const std::string &address, std::chrono::milliseconds after)
{
    auto timer = std::make_shared<boost::asio::steady_timer>(io, after);
    timer->async_wait([this, device, address, timer](const boost::system::error_code &error) {
        if (error)
            return;
        SocketFor(address);
        std::lock_guard<std::mutex> lock(mutex);
        devices[device].address = address;
    });
}

void DeviceSimulator::Record(const Receiver &port, const std::string &bytes)
{
    const auto now = std::chrono::steady_clock::now();
    const std::string source = port.sender.address().to_string() + ":" + std::to_string(port.sender.port());
    if (recordFile) {
        const double seconds = std::chrono::duration<double>(now - started).count();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%.6f", seconds);
        recordFile << stamp << ' ' << source << ' ' << Hex(bytes) << std::endl;
    }
    std::lock_guard<std::mutex> lock(mutex);
    received.push_back({now, source, bytes});
    receivedChanged.notify_all();
}

void DeviceSimulator::Answer(const std::string &from, std::string datagram, std::chrono::milliseconds extraDelay,
                             const udp::endpoint &destination)
{
    auto delay = options.replyDelay + extraDelay;
    if (options.jitter.count() > 0)
        delay += std::chrono::milliseconds(
            std::uniform_int_distribution<std::chrono::milliseconds::rep>(0, options.jitter.count())(random));
    if (delay.count() == 0) {
        SendFrom(from, datagram, destination);
        return;
    }
    auto timer = std::make_shared<boost::asio::steady_timer>(io, delay);
    timer->async_wait(
        [this, timer, from, datagram = std::move(datagram), destination](const boost::system::error_code &error) {
            if (!error)
                SendFrom(from, datagram, destination);
        });
}

void DeviceSimulator::SendJunk(udp::endpoint destination, std::size_t remaining)
{
    // A hundred batches, 10 ms apart, from the first device's address.
    constexpr std::size_t kBatches = 100;
    const std::size_t batch = std::min(remaining, options.junkPerQuery / kBatches + 1);
    const std::string from = devices.empty() ? options.listenAddress : devices.front().address;
    std::uniform_int_distribution<std::size_t> size(0, 2000);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t i = 0; i < batch; ++i) {
        std::string junk(size(random), '\0');
        for (char &c : junk)
            c = static_cast<char>(byte(random));
        SendFrom(from, junk, destination);
    }
    if (remaining <= batch)
        return;
    auto timer = std::make_shared<boost::asio::steady_timer>(io, std::chrono::milliseconds(10));
    timer->async_wait([this, timer, destination, rest = remaining - batch](const boost::system::error_code &error) {
        if (!error)
            SendJunk(destination, rest);
    });
}

void DeviceSimulator::SendFrom(const std::string &address, const std::string &datagram,
                               const udp::endpoint &destination)
{
    Receiver &port = SocketFor(address);
    // A device that cannot answer from its address is silent: from the
    // unbound socket its answer would come from an address it does not have.
    boost::system::error_code error;
    if (!port.socket.is_open() || port.socket.local_endpoint(error).port() == 0 || error)
        return;
    port.socket.send_to(boost::asio::buffer(datagram), destination, 0, error);
    if (error)
        std::cerr << "orvane-device-sim: send from " << address << ": " << error.message() << std::endl;
}

DeviceSimulator::Receiver &DeviceSimulator::SocketFor(const std::string &address)
{
    std::unique_ptr<Receiver> &port = replySockets[address];
    if (!port) {
        // A device answers from its command port (a firewall may let in
        // only that), and what is sent to its address reaches it there.
        port = std::make_unique<Receiver>(io);
        port->address = address;
        port->socket.open(udp::v4());
        port->socket.set_option(boost::asio::socket_base::reuse_address(true));
        boost::system::error_code error;
        port->socket.bind(udp::endpoint(boost::asio::ip::make_address_v4(address), Port()), error);
        if (error)
            std::cerr << "orvane-device-sim: cannot answer from " << address << ": " << error.message() << std::endl;
        else
            StartReceive(*port);
    }
    return *port;
}

} // namespace velqor::sim
