// The part of VirtualChip that runs a program Go started in RAM (see sim/mcu/HelperMachine.h).

#include "sim/VirtualChip.h"
#include "sim/mcu/HelperMachine.h"

namespace pellion::sim {

std::uint32_t VirtualChip::hostBaud() const {
    return options_.timing.baud != 0 ? options_.timing.baud : lineBaud_;
}

void VirtualChip::startHelper(std::uint32_t vectors, TimePoint at) {
    helper_ = std::make_unique<mcu::HelperMachine>(memory_, options_, faults_, stats_);
    helperFailed_ = false;
    ++stats_.helperStarts;
    stats_.helperError.clear();
    stats_.helperEnding = mcu::endingName(mcu::HelperMachine::Ending::Running);
    helper_->start(vectors, at);
}

void VirtualChip::runHelper(TimePoint now) {
    if (!helper_)
        return;
    helper_->setHostBaud(hostBaud());
    // No host byte not yet received can arrive before both moments.
    helper_->run(now, timed() ? std::max(now, receiveLineFree_) : now);
    for (const auto& sent : helper_->takeSent())
        sendAnswerByte(sent.garbled ? std::uint8_t(~sent.value) : sent.value, sent.start,
                       sent.perByte);
    const auto ending = helper_->ending();
    if (ending == mcu::HelperMachine::Ending::Running)
        return;
    stats_.helperEnding = mcu::endingName(ending);
    stats_.helperError = helper_->error();
    const TimePoint at = timed() ? std::max(helper_->now(), transmitLineFree_) : now;
    endHelper();
    switch (ending) {
        case mcu::HelperMachine::Ending::Failed:
            helperFailed_ = true;  // the core is lost; the bootloader stays away
            break;
        case mcu::HelperMachine::Ending::SystemReset:
            ++stats_.resets;
            core_.reset();
            startUp(at);
            sampleBootMode();
            break;
        case mcu::HelperMachine::Ending::ProgramStarted:
            scheduleReplacement(at);
            if (!options_.applicationText.empty())
                nextApplicationLine_ =
                    at + std::max<std::chrono::nanoseconds>(options_.applicationInterval,
                                                            std::chrono::milliseconds(1));
            break;
        case mcu::HelperMachine::Ending::Running:
            break;
    }
}

void VirtualChip::endHelper() {
    helper_.reset();
    helperFailed_ = false;
}

}  // namespace pellion::sim
