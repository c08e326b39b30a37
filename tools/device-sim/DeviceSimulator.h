#ifndef VELQOR_DEVICESIMULATOR_H
#define VELQOR_DEVICESIMULATOR_H

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velqor::sim {

/// One simulated Orvane head.
struct SimulatedDevice {
    /// How it answers an address change: moves and acknowledges, refuses with
    /// refusalCode, ignores it, or moves without a word; or, hostile,
    /// acknowledges and stays where it is, or is no device at all but a host
    /// that acknowledges every change from the address the command names.
    enum class Answer { Accept, Refuse, Silent, MoveSilently, AcknowledgeAndStay, AcknowledgeEveryChange };

    std::string serial; ///< Any bytes.
    std::string address; ///< The IPv4 address it answers from.
    Answer setAddressAnswer = Answer::Accept;
    std::int8_t refusalCode = 0;
    /// Added to the simulator's reply delay for this device's answers.
    std::chrono::milliseconds extraDelay {0};
    /// Added once more to its answers to address changes.
    std::chrono::milliseconds changeDelay {0};
    /// It answers no query for pauseFor from pauseAt on (since the
    /// simulator started).
    std::chrono::milliseconds pauseAt {0};
    std::chrono::milliseconds pauseFor {0};
    /// After it accepts a change it restarts: no query is answered for this long.
    std::chrono::milliseconds restart {0};
    /// It accepts this many changes, then refuses the rest with refusalCode
    /// (0: as setAddressAnswer alone says).
    int acceptOnly = 0;
    /// This long after it accepts a change, the change before it arrives
    /// again, as a late copy on a network that duplicates: it goes back
    /// there (0: never).
    std::chrono::milliseconds replay {0};
    /// It is off, answering nothing and heeding nothing, until the first
    /// change for its serial arrives: that one wakes it, as a second device
    /// of one serial that is switched on while the first one moves.
    bool asleep = false;
    /// The address of the change it accepted last, for replay.
    std::string lastChangedTo {};
};

struct SimulatorOptions {
    std::string listenAddress = "0.0.0.0";
    unsigned short port = 4365; ///< 0 lets the system choose.
    /// Every answer waits this long; with no jitter all devices answer at once.
    std::chrono::milliseconds replyDelay {0};
    /// Each answer waits a further random time up to this.
    std::chrono::milliseconds jitter {0};
    double lossRate = 0.0; ///< Share of answers never sent.
    unsigned seed = 1;
    std::string recordPath; ///< Every received datagram is appended here when set.
    /// Junk datagrams of random sizes (0 to 2000 bytes) and bytes sent to the
    /// host over the second after each query.
    std::size_t junkPerQuery = 0;
};

/// A datagram as the simulator received it.
struct ReceivedDatagram {
    std::chrono::steady_clock::time_point time;
    std::string source; ///< address:port
    std::string bytes;
};

/// Answers the device protocol for many devices from one process, each from
/// its own address, and records everything it receives.
class DeviceSimulator {
public:
    DeviceSimulator(std::vector<SimulatedDevice> devices, SimulatorOptions options);
    DeviceSimulator(const DeviceSimulator &) = delete;
    DeviceSimulator &operator=(const DeviceSimulator &) = delete;
    ~DeviceSimulator();

    /// The port that commands are received on.
    unsigned short Port() const;
    std::vector<ReceivedDatagram> Received() const;
    /// Waits until at least count datagrams have arrived; false on time-out.
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    /// The address a device answers from now; empty for an unknown serial.
    std::string AddressOf(const std::string &serial) const;

private:
    /// A socket that commands arrive on: the listening one (every device
    /// hears what arrives there), or a device address's own, bound to the
    /// command port as a device's is (what arrives there is for the devices
    /// at that address). Answers leave from the latter.
    struct Receiver {
        explicit Receiver(boost::asio::io_context &io) : socket(io), buffer(64 * 1024) { }
        boost::asio::ip::udp::socket socket;
        std::vector<char> buffer;
        boost::asio::ip::udp::endpoint sender;
        std::string address; ///< empty for the listening socket
    };

    void StartReceive(Receiver &port);
    void Handle(const Receiver &port, std::size_t length);
    void Record(const Receiver &port, const std::string &bytes);
    void Answer(const std::string &from, std::string datagram, std::chrono::milliseconds extraDelay,
                const boost::asio::ip::udp::endpoint &destination);
    void SendJunk(boost::asio::ip::udp::endpoint destination, std::size_t remaining);
    // The late copy of a change that device accepted: it moves there again.
    void Replay(std::size_t device, const std::string &address, std::chrono::milliseconds after);
    void SendFrom(const std::string &address, const std::string &datagram,
                  const boost::asio::ip::udp::endpoint &destination);
    Receiver &SocketFor(const std::string &address);

    SimulatorOptions options;
    boost::asio::io_context io;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work;
    Receiver listen;
    /// One socket per device address, bound to it and the command port.
    std::map<std::string, std::unique_ptr<Receiver>> replySockets;
    std::mt19937 random;
    std::ofstream recordFile;

    mutable std::mutex mutex; ///< Guards devices and received.
    mutable std::condition_variable receivedChanged;
    std::vector<SimulatedDevice> devices;
    std::vector<ReceivedDatagram> received;
    std::chrono::steady_clock::time_point started;
    std::thread thread;
};

} // namespace velqor::sim

#endif // VELQOR_DEVICESIMULATOR_H
