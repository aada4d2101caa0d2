#include "sim/SocketService.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace pellion::sim {

namespace {

// A client that sends this much without a complete request is not speaking our format.
constexpr std::size_t kInputLimit = 4096;

}  // namespace

SocketService::SocketService() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SocketService::~SocketService() {
    stop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

std::string SocketService::listenAbstract(const std::string& name, Handler handler) {
    return listen(name, true, std::move(handler));
}

std::string SocketService::listenAtPath(const std::string& path, Handler handler) {
    return listen(path, false, std::move(handler));
}

std::string SocketService::listen(const std::string& address, bool abstract, Handler handler) {
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (address.empty() || address.size() + 1 > sizeof where.sun_path)
        return "socket name too long: " + address;
    std::memcpy(where.sun_path + offset, address.data(), address.size());
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + address.size() + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("socket(): ") + std::strerror(errno);
    if (!abstract)
        ::unlink(address.c_str());  // a socket file left by an earlier run
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), length) != 0 ||
        ::listen(fd, 16) != 0) {
        const std::string error = std::strerror(errno);
        ::close(fd);
        return "cannot listen on " + address + ": " + error;
    }
    auto listener = std::make_shared<Listener>();
    listener->fd = fd;
    listener->handler = std::move(handler);
    listener->path = abstract ? "" : address;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return "cannot listen on " + address + ": the service has stopped";
        }
        listeners_.push_back(std::move(listener));
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
    }
    wake();
    return "";
}

void SocketService::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void SocketService::stop() {
    stopping_ = true;
    wake();
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        thread.swap(thread_);
    }
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(mutex_);
    for (const auto& listener : listeners_) {
        ::close(listener->fd);
        if (!listener->path.empty())
            ::unlink(listener->path.c_str());
    }
    listeners_.clear();
}

void SocketService::run() {
    std::vector<Client> clients;
    std::vector<std::shared_ptr<Listener>> listeners;
    std::vector<pollfd> fds;
    while (!stopping_) {
        {
            std::lock_guard lock(mutex_);
            listeners = listeners_;
        }
        fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
        for (const auto& listener : listeners)
            fds.push_back(pollfd{listener->fd, POLLIN, 0});
        for (const Client& client : clients)
            fds.push_back(
                pollfd{client.fd, short(POLLIN | (client.output.empty() ? 0 : POLLOUT)), 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        // Clients first: the indexes in fds refer to the clients as they were before accepting.
        for (std::size_t i = 0; i < clients.size(); ++i)
            serveClient(clients[i], fds[1 + listeners.size() + i].revents);
        std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            if (!(fds[1 + i].revents & POLLIN))
                continue;
            const int fd =
                ::accept4(listeners[i]->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0)
                clients.push_back(Client{fd, listeners[i], {}, {}});
        }
    }
    for (Client& client : clients)
        ::close(client.fd);
}

void SocketService::serveClient(Client& client, short revents) {
    bool closing = (revents & (POLLERR | POLLNVAL)) != 0;
    if (revents & (POLLIN | POLLHUP)) {
        char buffer[512];
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            client.input.append(buffer, std::size_t(n));
            client.output += client.listener->handler(client.input);
            closing = closing || client.input.size() > kInputLimit;
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            closing = true;
        }
    }
    while (!client.output.empty() && !closing) {
        const ssize_t n =
            ::send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL);
        if (n > 0)
            client.output.erase(0, std::size_t(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            break;
        else
            closing = true;
    }
    if (closing) {
        ::close(client.fd);
        client.fd = -1;
    }
}

}  // namespace pellion::sim
