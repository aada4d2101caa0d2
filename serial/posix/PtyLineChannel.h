#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pellion::posix {

// Pseudo-terminals carry no modem lines, so a virtual chip on one takes its DTR and RTS from a
// side channel: an abstract Unix stream socket named "pellion-lines:" followed by the
// terminal's device path, e.g. "pellion-lines:/dev/pts/7".
//
// Every request is one byte, and each is answered by one byte once the change is in effect on
// the board, so a host that waits for the answer knows the lines have moved, as after the ioctl
// on a real port:
//   request: bit 0 the DTR level, bit 1 the RTS level (1 = asserted), bit 2 set DTR, bit 3 set
//            RTS, bits 4..7 zero. A request that sets neither line only asks for the levels.
//   answer:  0x80 | bit 0 DTR | bit 1 RTS, the levels now in effect; 0x00 refuses a request
//            with bits 4..7 set.
// Both lines start de-asserted and keep their levels when a connection closes.
namespace ptyline {
inline constexpr std::uint8_t kDtr = 0x01;
inline constexpr std::uint8_t kRts = 0x02;
inline constexpr std::uint8_t kSetDtr = 0x04;
inline constexpr std::uint8_t kSetRts = 0x08;
inline constexpr std::uint8_t kAnswered = 0x80;
inline constexpr std::uint8_t kRefused = 0x00;
}  // namespace ptyline

// The endpoint's name for a device (without the leading NUL of the abstract namespace). A path
// through symbolic links names the terminal it leads to.
std::string ptyLineEndpointName(const std::string& devicePath);

enum class LineChannelError {
    None,
    NoEndpoint,  // nothing serves lines for this device: a plain pseudo-terminal
    Failed,      // the endpoint exists but did not confirm the change
};

struct LineChannelResult {
    LineChannelError error = LineChannelError::None;
    std::string message;  // empty on success
    bool dtr = false;     // the levels in effect, on success
    bool rts = false;

    bool ok() const { return error == LineChannelError::None; }
};

// The host's end of one device's line endpoint. Nothing in it blocks beyond the time-out given.
class PtyLineChannel {
  public:
    PtyLineChannel() = default;
    ~PtyLineChannel();
    PtyLineChannel(const PtyLineChannel&) = delete;
    PtyLineChannel& operator=(const PtyLineChannel&) = delete;

    LineChannelResult open(const std::string& devicePath);
    bool isOpen() const { return fd_ >= 0; }
    void close();

    // Sets the lines given (nullopt leaves a line as it is) and waits, at most `timeout`, for
    // the endpoint to confirm.
    LineChannelResult setLines(std::optional<bool> dtr, std::optional<bool> rts,
                               std::chrono::milliseconds timeout = std::chrono::seconds(1));

  private:
    int fd_ = -1;
    std::string devicePath_;
};

}  // namespace pellion::posix
