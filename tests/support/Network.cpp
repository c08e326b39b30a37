#include "Network.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace velqor::test {

void SendDatagram(const std::string &bytes, const std::string &toAddress, unsigned short toPort,
                  const std::string &fromAddress)
{
    using boost::asio::ip::udp;
    boost::asio::io_context io;
    udp::socket socket(io, udp::endpoint(boost::asio::ip::make_address_v4(fromAddress), 0));
    socket.send_to(boost::asio::buffer(bytes), udp::endpoint(boost::asio::ip::make_address_v4(toAddress), toPort));
}

bool LoopbackSourcesKept()
{
    static const bool kept = [] {
        using boost::asio::ip::udp;
        boost::asio::io_context io;
        udp::socket receiver(io, udp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), 0));
        SendDatagram("?", "127.0.0.1", receiver.local_endpoint().port(), "127.0.0.7");
        char byte = 0;
        udp::endpoint sender;
        receiver.receive_from(boost::asio::buffer(&byte, 1), sender);
        return sender.address().to_string() == "127.0.0.7";
    }();
    return kept;
}

bool UnderWine()
{
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool InVirtualLan()
{
    const char *flag = std::getenv("ORVANE_VLAN");
    return flag != nullptr && std::string(flag) == "1";
}

bool SetLink(const std::string &name, bool up)
{
    const std::string command = "ip link set " + name + (up ? " up" : " down");
    if (std::system(command.c_str()) != 0)
        return false;
    if (!up)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string state;
        std::ifstream("/sys/class/net/" + name + "/operstate") >> state;
        if (state == "up")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace velqor::test
