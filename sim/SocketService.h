#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pellion::sim {

// Unix-socket listeners served by one thread: it accepts clients, hands what each client sent to
// its listener's handler and sends back the handler's answer. Used for the side channels of the
// virtual chips (their lines, the control endpoint), never for the chips' own serial lines.
class SocketService {
  public:
    // Takes the complete requests from the front of `input` (what a client sent and no handler
    // has taken yet) and returns the bytes to answer with.
    using Handler = std::function<std::string(std::string& input)>;

    SocketService();
    ~SocketService();  // stops
    SocketService(const SocketService&) = delete;
    SocketService& operator=(const SocketService&) = delete;

    // Listens on an abstract socket (`name` without its leading NUL) or at a path in the file
    // system, from any thread. Returns an error text, empty on success. A path is removed
    // again when the service stops.
    std::string listenAbstract(const std::string& name, Handler handler);
    std::string listenAtPath(const std::string& path, Handler handler);
    // Gives the name or path up at once, before this returns (so that it can be bound again),
    // from any thread; clients already connected stay served.
    void stopListening(const std::string& nameOrPath);
    void stop();  // any thread; idempotent

  private:
    // What an event of the thread's epoll set refers to.
    struct Watched {
        bool isListener = false;
    };
    struct Listener : Watched {
        std::mutex mutex;  // holds `fd` while it is accepted from or closed
        int fd = -1;
        std::string address;
        bool inFileSystem = false;
        Handler handler;
    };
    struct Client : Watched {
        int fd = -1;
        Listener* listener = nullptr;
        std::string input;
        std::string output;
        bool closing = false;
    };

    std::string listen(const std::string& address, bool abstract, Handler handler);
    void run();
    void accept(Listener& listener, std::vector<std::unique_ptr<Client>>& clients);
    void serveClient(Client& client, std::uint32_t events);
    void watchOutput(Client& client);
    static void closeListener(Listener& listener);

    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::mutex mutex_;
    // Kept until the service is destroyed: events may still name a listener that stopped.
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace pellion::sim
