// orvane-device-sim: answers the Orvane device protocol for one or many
// simulated devices until it is interrupted.

#include "DeviceSimulator.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/signal_set.hpp>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

using velqor::sim::DeviceSimulator;
using velqor::sim::SimulatedDevice;
using velqor::sim::SimulatorOptions;

namespace {

const char *const kUsage = R"(usage: orvane-device-sim [options]
  --listen ADDR         address that commands arrive on (default 0.0.0.0)
  --port N              port that commands arrive on (default 4365, 0 = any)
  --device DEVICE       one device: SERIAL@ADDRESS[/ANSWER][/delay=MS][/answer-delay=MS][/pause=AT:FOR][/restart=MS]
                        [/accept-once=CODE][/replay=MS][/asleep]
                        ANSWER: refuse=CODE, silent, move-silently, or, hostile,
                        ack-and-stay, or ack-every-change (no device: a host at ADDRESS
                        that acknowledges every change from the address it names)
                        SERIAL is text, hex:4142 for any bytes, or fill:N:C for N times C
                        delay: every answer later; answer-delay: those to changes;
                        /pause=AT:FOR: no answer to queries for FOR ms from AT ms on;
                        /restart=MS: after it accepts a change, none for MS ms;
                        /accept-once=CODE: it accepts its first change, refuses the next with CODE
                        /replay=MS: MS ms after each change it accepts, the one before
                        arrives again (a late duplicate) and it goes back there
                        /asleep: off until the first change for its serial, which wakes it
  --devices N           N generated devices, serials PREFIX000000, PREFIX000001, ...
  --first-address ADDR  address of the first generated device (default 10.100.0.1)
  --serial-prefix TEXT  prefix of generated serials (default ORV)
  --first-number N      number of the first generated serial (default 0)
  --refuse CODE         generated devices refuse address changes with CODE
  --silent              generated devices ignore address changes
  --delay MS            every answer waits MS milliseconds
  --jitter MS           each answer waits a further random 0..MS milliseconds
  --loss RATE           share of answers never sent, 0 to 1
  --seed N              seed of the loss and jitter draws
  --junk N              after each query send N junk datagrams over a second
  --record FILE         append every received datagram: seconds source hex
  --ready-file FILE     written once the simulator answers
)";

std::string Unhex(const std::string &hex)
{
    if (hex.size() % 2 != 0)
        throw std::invalid_argument("odd number of hex digits: " + hex);
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

SimulatedDevice ParseDevice(const std::string &text)
{
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos)
        throw std::invalid_argument("device needs SERIAL@ADDRESS: " + text);
    SimulatedDevice device;
    const std::string serial = text.substr(0, at);
    if (serial.rfind("hex:", 0) == 0) {
        device.serial = Unhex(serial.substr(4));
    } else if (serial.rfind("fill:", 0) == 0 && serial.size() >= 8) {
        device.serial = std::string(std::stoul(serial.substr(5, serial.size() - 7)), serial.back());
    } else {
        device.serial = serial;
    }
    std::string rest = text.substr(at + 1);
    std::size_t slash = rest.find('/');
    const std::string address = rest.substr(0, slash);
    while (slash != std::string::npos) {
        const std::size_t next = rest.find('/', slash + 1);
        const std::string answer = rest.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
        slash = next;
        if (answer.rfind("delay=", 0) == 0) {
            device.extraDelay = std::chrono::milliseconds(std::stol(answer.substr(6)));
        } else if (answer.rfind("answer-delay=", 0) == 0) {
            device.changeDelay = std::chrono::milliseconds(std::stol(answer.substr(13)));
        } else if (answer.rfind("pause=", 0) == 0) {
            const std::size_t colon = answer.find(':');
            device.pauseAt = std::chrono::milliseconds(std::stol(answer.substr(6, colon - 6)));
            device.pauseFor = std::chrono::milliseconds(std::stol(answer.substr(colon + 1)));
        } else if (answer.rfind("accept-once=", 0) == 0) {
            device.acceptOnly = 1;
            device.refusalCode = static_cast<std::int8_t>(std::stoi(answer.substr(12)));
        } else if (answer == "asleep") {
            device.asleep = true;
        } else if (answer.rfind("replay=", 0) == 0) {
            device.replay = std::chrono::milliseconds(std::stol(answer.substr(7)));
        } else if (answer.rfind("restart=", 0) == 0) {
            device.restart = std::chrono::milliseconds(std::stol(answer.substr(8)));
        } else if (answer == "ack-and-stay") {
            device.setAddressAnswer = SimulatedDevice::Answer::AcknowledgeAndStay;
        } else if (answer == "ack-every-change") {
            device.setAddressAnswer = SimulatedDevice::Answer::AcknowledgeEveryChange;
        } else if (answer == "silent") {
            device.setAddressAnswer = SimulatedDevice::Answer::Silent;
        } else if (answer == "move-silently") {
            device.setAddressAnswer = SimulatedDevice::Answer::MoveSilently;
        } else if (answer.rfind("refuse=", 0) == 0) {
            device.setAddressAnswer = SimulatedDevice::Answer::Refuse;
            device.refusalCode = static_cast<std::int8_t>(std::stoi(answer.substr(7)));
        } else {
            throw std::invalid_argument("unknown answer: " + answer);
        }
    }
    device.address = boost::asio::ip::make_address_v4(address).to_string();
    return device;
}

std::vector<SimulatedDevice> Generate(unsigned count, unsigned firstNumber, const std::string &firstAddress,
                                      const std::string &prefix, const SimulatedDevice &pattern)
{
    std::vector<SimulatedDevice> devices;
    unsigned long address = boost::asio::ip::make_address_v4(firstAddress).to_uint();
    for (unsigned i = 0; i < count; ++i, ++address) {
        while ((address & 0xff) == 0 || (address & 0xff) == 0xff)
            ++address;
        SimulatedDevice device = pattern;
        const std::string number = std::to_string(firstNumber + i);
        device.serial = prefix + std::string(number.size() < 6 ? 6 - number.size() : 0, '0') + number;
        device.address =
            boost::asio::ip::address_v4(static_cast<boost::asio::ip::address_v4::uint_type>(address)).to_string();
        devices.push_back(device);
    }
    return devices;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        SimulatorOptions options;
        std::vector<SimulatedDevice> devices;
        unsigned generated = 0;
        unsigned firstNumber = 0;
        std::string firstAddress = "10.100.0.1";
        std::string prefix = "ORV";
        std::string readyFile;
        SimulatedDevice pattern;

        std::vector<std::string> args(argv + 1, argv + argc);
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string &arg = args[i];
            auto value = [&]() -> const std::string & {
                if (i + 1 >= args.size())
                    throw std::invalid_argument(arg + " needs a value");
                return args[++i];
            };
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return EXIT_SUCCESS;
            } else if (arg == "--listen") {
                options.listenAddress = value();
            } else if (arg == "--port") {
                options.port = static_cast<unsigned short>(std::stoul(value()));
            } else if (arg == "--device") {
                devices.push_back(ParseDevice(value()));
            } else if (arg == "--devices") {
                generated = static_cast<unsigned>(std::stoul(value()));
            } else if (arg == "--first-address") {
                firstAddress = value();
            } else if (arg == "--first-number") {
                firstNumber = static_cast<unsigned>(std::stoul(value()));
            } else if (arg == "--serial-prefix") {
                prefix = value();
            } else if (arg == "--refuse") {
                pattern.setAddressAnswer = SimulatedDevice::Answer::Refuse;
                pattern.refusalCode = static_cast<std::int8_t>(std::stoi(value()));
            } else if (arg == "--silent") {
                pattern.setAddressAnswer = SimulatedDevice::Answer::Silent;
            } else if (arg == "--delay") {
                options.replyDelay = std::chrono::milliseconds(std::stol(value()));
            } else if (arg == "--jitter") {
                options.jitter = std::chrono::milliseconds(std::stol(value()));
            } else if (arg == "--loss") {
                options.lossRate = std::stod(value());
            } else if (arg == "--seed") {
                options.seed = static_cast<unsigned>(std::stoul(value()));
            } else if (arg == "--junk") {
                options.junkPerQuery = std::stoul(value());
            } else if (arg == "--record") {
                options.recordPath = value();
            } else if (arg == "--ready-file") {
                readyFile = value();
            } else {
                throw std::invalid_argument("unknown option " + arg);
            }
        }
        for (SimulatedDevice &device : Generate(generated, firstNumber, firstAddress, prefix, pattern))
            devices.push_back(std::move(device));

        const std::size_t count = devices.size();
        DeviceSimulator simulator(std::move(devices), options);
        std::cout << "orvane-device-sim: " << count << " devices, commands on " << options.listenAddress << ":"
                  << simulator.Port() << std::endl;
        if (!readyFile.empty())
            std::ofstream(readyFile) << simulator.Port() << '\n';

        boost::asio::io_context io;
        boost::asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([](const boost::system::error_code &, int) {});
        io.run();
        return EXIT_SUCCESS;
    } catch (const std::exception &e) {
        std::cerr << "orvane-device-sim: " << e.what() << "\n" << kUsage;
        return EXIT_FAILURE;
    }
}
