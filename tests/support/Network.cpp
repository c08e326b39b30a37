#include "Network.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstdlib>

namespace velqor::test {

void SendDatagram(const std::string &bytes, const std::string &toAddress, unsigned short toPort,
                  const std::string &fromAddress)
{
    using boost::asio::ip::udp;
    boost::asio::io_context io;
    udp::socket socket(io, udp::endpoint(boost::asio::ip::make_address_v4(fromAddress), 0));
    socket.send_to(boost::asio::buffer(bytes), udp::endpoint(boost::asio::ip::make_address_v4(toAddress), toPort));
}

bool InVirtualLan()
{
    const char *flag = std::getenv("ORVANE_VLAN");
    return flag != nullptr && std::string(flag) == "1";
}

} // namespace velqor::test
