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
    void stop();  // any thread; idempotent

  private:
    struct Listener {
        int fd = -1;
        Handler handler;
        std::string path;  // to remove on stop; empty for abstract names
    };
    struct Client {
        int fd = -1;
        std::shared_ptr<Listener> listener;
        std::string input;
        std::string output;
    };

    std::string listen(const std::string& address, bool abstract, Handler handler);
    void run();
    void serveClient(Client& client, short revents);
    void wake();

    int wakeFd_ = -1;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Listener>> listeners_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace pellion::sim
