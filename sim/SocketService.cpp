#include "sim/SocketService.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace pellion::sim {

namespace {

// A client that sends this much without a complete request is not speaking our format.
constexpr std::size_t kInputLimit = 4096;

}  // namespace

// epoll, not poll: a poll in progress holds a reference to every socket it watches, so a
// listener closed meanwhile would keep its name until the poll returns. An epoll set holds
// none, and stopListening() frees the name at once.
SocketService::SocketService()
    : epollFd_(::epoll_create1(EPOLL_CLOEXEC)), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.ptr = nullptr;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake);
}

SocketService::~SocketService() {
    stop();
    ::close(wakeFd_);
    ::close(epollFd_);
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
    auto listener = std::make_unique<Listener>();
    listener->isListener = true;
    listener->fd = fd;
    listener->address = address;
    listener->inFileSystem = !abstract;
    listener->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    if (stopping_) {
        closeListener(*listener);
        return "cannot listen on " + address + ": the service has stopped";
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = static_cast<Watched*>(listener.get());
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event);
    listeners_.push_back(std::move(listener));
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    return "";
}

void SocketService::closeListener(Listener& listener) {
    std::lock_guard lock(listener.mutex);
    if (listener.fd < 0)
        return;
    ::close(listener.fd);  // also leaves the epoll set
    listener.fd = -1;
    if (listener.inFileSystem)
        ::unlink(listener.address.c_str());
}

void SocketService::stopListening(const std::string& nameOrPath) {
    std::lock_guard lock(mutex_);
    for (const auto& listener : listeners_) {
        if (listener->address == nameOrPath)
            closeListener(*listener);
    }
}

void SocketService::stop() {
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        thread.swap(thread_);
    }
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(mutex_);
    for (const auto& listener : listeners_)
        closeListener(*listener);
}

void SocketService::run() {
    std::vector<std::unique_ptr<Client>> clients;
    epoll_event events[32];
    while (!stopping_) {
        const int ready = ::epoll_wait(epollFd_, events, 32, -1);
        for (int i = 0; i < ready; ++i) {
            auto* watched = static_cast<Watched*>(events[i].data.ptr);
            if (watched == nullptr) {
                std::uint64_t count;
                [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            } else if (watched->isListener) {
                accept(*static_cast<Listener*>(watched), clients);
            } else {
                serveClient(*static_cast<Client*>(watched), events[i].events);
            }
        }
        // Only now: a later event of the same batch may still name a client that is closing.
        std::erase_if(clients, [](const std::unique_ptr<Client>& client) {
            if (!client->closing)
                return false;
            ::close(client->fd);
            return true;
        });
    }
    for (const auto& client : clients)
        ::close(client->fd);
}

void SocketService::accept(Listener& listener, std::vector<std::unique_ptr<Client>>& clients) {
    std::lock_guard lock(listener.mutex);
    if (listener.fd < 0)
        return;
    const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->listener = &listener;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = static_cast<Watched*>(client.get());
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return;
    }
    clients.push_back(std::move(client));
}

void SocketService::serveClient(Client& client, std::uint32_t events) {
    if (client.closing)
        return;
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        char buffer[512];
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            client.input.append(buffer, std::size_t(n));
            client.output += client.listener->handler(client.input);
            client.closing = client.input.size() > kInputLimit;
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            client.closing = true;
        }
    }
    while (!client.output.empty() && !client.closing) {
        const ssize_t n =
            ::send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL);
        if (n > 0)
            client.output.erase(0, std::size_t(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            break;
        else
            client.closing = true;
    }
    watchOutput(client);
}

// Waits for room to send only while an answer is pending.
void SocketService::watchOutput(Client& client) {
    if (client.closing)
        return;
    epoll_event event{};
    event.events = EPOLLIN | (client.output.empty() ? 0u : std::uint32_t(EPOLLOUT));
    event.data.ptr = static_cast<Watched*>(&client);
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, client.fd, &event);
}

}  // namespace pellion::sim
