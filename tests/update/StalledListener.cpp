#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "UpdateTestSupport.h"

namespace pellion::test {

StalledListener::StalledListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 0);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    // Connections nobody accepts fill the queue; later handshakes are dropped.
    for (int i = 0; i < 3; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::fcntl(filler, F_SETFL, O_NONBLOCK);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

StalledListener::~StalledListener() {
    for (const int filler : fillers_) {
        ::close(filler);
    }
    ::close(listener_);
}

QUrl StalledListener::url() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/announcement.html").arg(port_));
}

}  // namespace pellion::test
