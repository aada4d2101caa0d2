#include "sim/LineEndpoint.h"

#include "serial/posix/PtyLineChannel.h"

namespace pellion::sim {

namespace {

std::uint8_t answerTo(VirtualChip& chip, std::uint8_t request) {
    using namespace posix::ptyline;
    if (request & ~std::uint8_t(kDtr | kRts | kSetDtr | kSetRts))
        return kRefused;
    std::optional<bool> dtr;
    std::optional<bool> rts;
    if (request & kSetDtr)
        dtr = (request & kDtr) != 0;
    if (request & kSetRts)
        rts = (request & kRts) != 0;
    const LineLevels levels = chip.setLines(dtr, rts);
    return std::uint8_t(kAnswered | (levels.dtr ? kDtr : 0) | (levels.rts ? kRts : 0));
}

}  // namespace

std::string serveLineEndpoint(SocketService& service, std::shared_ptr<VirtualChip> chip) {
    const std::string name = posix::ptyLineEndpointName(chip->devicePath());
    std::string error = service.listenAbstract(name, [chip](std::string& input) {
        std::string answer;
        for (char request : input)
            answer += char(answerTo(*chip, std::uint8_t(request)));
        input.clear();
        return answer;
    });
    // A closed line frees its terminal's number for the next one: the name goes first.
    if (error.empty())
        chip->setLineClosingHandler([&service, name] { service.stopListening(name); });
    return error;
}

}  // namespace pellion::sim
