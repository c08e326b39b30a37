#include "ReferenceReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

ReferenceReceiver::ReferenceReceiver(int receiveBuffer) : fd(socket(AF_INET, SOCK_DGRAM, 0))
{
    if (fd < 0)
        throw std::runtime_error("socket");
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const timeval timeout {0, 5000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in any {};
    any.sin_family = AF_INET;
    if (bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0)
        throw std::runtime_error("bind");
}

ReferenceReceiver::~ReferenceReceiver()
{
    close(fd);
}

void ReferenceReceiver::SendTo(const std::string &datagram, const char *address, std::uint16_t port)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) < 0)
        throw std::runtime_error("sendto");
}

std::uint16_t ReferenceReceiver::Port() const
{
    sockaddr_in self {};
    socklen_t length = sizeof self;
    getsockname(fd, reinterpret_cast<sockaddr *>(&self), &length);
    return ntohs(self.sin_port);
}

int ReferenceReceiver::ReceiveBufferSize() const
{
    int size = 0;
    socklen_t length = sizeof size;
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
    return size;
}

std::size_t
ReferenceReceiver::ReceiveFor(std::chrono::milliseconds duration,
                              const std::function<void(const char *, std::size_t, std::uint32_t)> &onDatagram,
                              const std::function<void()> &tick)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    char buffer[2048];
    std::size_t received = 0;
    while (std::chrono::steady_clock::now() < end) {
        sockaddr_in from {};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n >= 0) {
            ++received;
            if (onDatagram)
                onDatagram(buffer, static_cast<std::size_t>(n), from.sin_addr.s_addr);
        }
        if (tick)
            tick();
    }
    return received;
}
