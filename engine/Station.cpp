#include "engine/Station.h"

namespace pellion {

Station::Station(OwnerLoop& loop, RunControl& control) : loop_(loop), control_(control) {
    control_.events().subscribe(*this);
}

Station::~Station() {
    if (probeTimer_ != 0)
        loop_.stopTimer(probeTimer_);
    control_.events().unsubscribe(*this);
}

Station::Socket* Station::socketOf(std::int32_t slot) {
    if (slot < 0 || std::size_t(slot) >= sockets_.size())
        return nullptr;
    return &sockets_[std::size_t(slot)];
}

Station::SocketState Station::state(std::int32_t slot) const {
    if (slot < 0 || std::size_t(slot) >= sockets_.size())
        return SocketState::Off;
    return sockets_[std::size_t(slot)].state;
}

std::uint64_t Station::succeeded(std::int32_t slot) const {
    return slot < 0 || std::size_t(slot) >= sockets_.size() ? 0
                                                            : sockets_[std::size_t(slot)].succeeded;
}

std::uint64_t Station::failed(std::int32_t slot) const {
    return slot < 0 || std::size_t(slot) >= sockets_.size() ? 0
                                                            : sockets_[std::size_t(slot)].failed;
}

void Station::Start(const std::vector<std::int32_t>& slots, const SlotInputs& inputs) {
    std::vector<Port> ports;
    for (std::int32_t slot : slots)
        ports.push_back({slot, inputs});
    Start(ports);
}

void Station::Start(const std::vector<Port>& ports) {
    sockets_.assign(std::size_t(control_.machine().slotCount()), Socket{});
    for (const Port& port : ports) {
        if (Socket* socket = socketOf(port.slot)) {
            socket->state = SocketState::Waiting;
            socket->inputs = port.inputs;
            socket->inputs.readUniqueId = true;  // a chip is told from the next by its ID
        }
    }
    chips_ = succeeded_ = failed_ = 0;
    started_ = true;
    stopping_ = stopped_ = false;
    probeTimer_ = loop_.startTimer(kProbePeriod, true, [this] { probeIdleSockets(); });
    probeIdleSockets();
}

void Station::StopOrderly() {
    if (!started_ || stopping_)
        return;
    stopping_ = true;
    if (probeTimer_ != 0)
        loop_.stopTimer(probeTimer_);
    probeTimer_ = 0;
    // A probe under way is no chip's work: it ends now, and its answer is ignored.
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        const SocketState state = sockets_[i].state;
        if (state == SocketState::Waiting || state == SocketState::Holding)
            control_.machine().CancelSlot(std::int32_t(i));
    }
    stopIfIdle();
}

void Station::StopNow() {
    if (!started_ || stopped_)
        return;
    StopOrderly();
    // Only its own chips: a port ticked beside the station is none of its business.
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        if (sockets_[i].state == SocketState::Programming)
            control_.machine().StopNow(std::int32_t(i));
    }
    stopIfIdle();
}

bool Station::MayRetry(std::int32_t slot) const {
    return IsRunning() && !stopping_ && state(slot) == SocketState::Holding &&
           !sockets_[std::size_t(slot)].chip.succeeded();
}

// A chip that succeeded is never programmed twice by hand either.
bool Station::Retry(std::int32_t slot) {
    if (!MayRetry(slot))
        return false;
    Socket& socket = sockets_[std::size_t(slot)];
    socket.state = SocketState::Waiting;  // the next answered probe starts it
    socket.heldId.reset();
    socket.waitingTold = false;  // taken away meanwhile, the socket is told empty
    return true;
}

void Station::ResetCounters() {
    succeeded_ = failed_ = 0;
    for (Socket& socket : sockets_)
        socket.succeeded = socket.failed = 0;
}

// Probing never disturbs a slot at work: only sockets without a chip in programming, and
// without a probe of their own still under way, are asked.
void Station::probeIdleSockets() {
    PortStateMachine& machine = control_.machine();
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        const auto slot = std::int32_t(i);
        const SocketState state = sockets_[i].state;
        if ((state == SocketState::Waiting || state == SocketState::Holding) &&
            !machine.IsAtWork(slot) && machine.IsOpen(slot)) {
            machine.BeginProbe(slot, sockets_[i].inputs);
        }
    }
}

void Station::OnSocketProbed(const SocketProbed& event) {
    Socket* socket = socketOf(event.slot);
    if (socket == nullptr || stopping_ ||
        (socket->state != SocketState::Waiting && socket->state != SocketState::Holding)) {
        return;
    }
    if (!event.answered)
        return onSilentProbe(event.slot);
    socket->silentProbes = 0;
    if (!isNewChip(*socket, event))
        return;
    const PortSlot& s = control_.machine().slot(event.slot);
    if (event.identified || s.chip.awaitingModel)
        beginChip(event.slot, event);
}

void Station::onSilentProbe(std::int32_t slot) {
    Socket& socket = sockets_[std::size_t(slot)];
    if (socket.state == SocketState::Holding && ++socket.silentProbes >= kSilentProbesForEmpty) {
        wait(slot);
    } else if (socket.state == SocketState::Waiting && !socket.waitingTold) {
        wait(slot);
    }
}

// A held chip goes only when the socket was seen empty, or when another chip answers in its
// place; a chip whose ID cannot be read (readout protection) is told apart by the first alone.
bool Station::isNewChip(const Socket& socket, const SocketProbed& event) const {
    if (socket.state == SocketState::Waiting)
        return true;
    return event.uniqueId && socket.heldId && *event.uniqueId != *socket.heldId;
}

bool Station::quotaReached() const {
    if (!stopAfter_)
        return false;
    std::uint64_t atWork = 0;
    for (const Socket& socket : sockets_)
        atWork += socket.state == SocketState::Programming ? 1 : 0;
    return succeeded_ + atWork >= *stopAfter_;
}

void Station::beginChip(std::int32_t slot, const SocketProbed& event) {
    if (quotaReached())
        return;
    Socket& socket = sockets_[std::size_t(slot)];
    socket.chip = StationChip{};
    socket.chip.slot = slot;
    socket.chip.number = ++chips_;
    socket.chip.code = event.code;
    socket.chip.uniqueId = event.uniqueId;
    socket.chip.uniqueIdRefused = event.uniqueIdRefused;
    socket.chip.startedAt = std::chrono::system_clock::now();
    socket.heldId = event.uniqueId;
    control_.machine().AnnounceProbe(slot);
    const PortSlot& s = control_.machine().slot(slot);
    if (s.chip.awaitingModel && !control_.ApplyModel(slot, socket.inputs.model))
        return refuseChip(slot, ChipRefusal::NoModel);
    socket.chip.part = s.chip.partName;
    if (!control_.StartCycle(slot, socket.inputs))
        return refuseChip(slot, ChipRefusal::ImageDoesNotFit);
    socket.state = SocketState::Programming;
    if (onChipStarted)
        onChipStarted(socket.chip);
}

// A chip that cannot be started counts as failed and is held like any other.
void Station::refuseChip(std::int32_t slot, ChipRefusal refusal) {
    SlotEnded ended;
    ended.slot = slot;
    ended.result = SlotResult::Failed;
    ended.failedStep = SlotStep::Identify;
    sockets_[std::size_t(slot)].chip.refusal = refusal;
    finishChip(slot, ended);
}

void Station::OnSlotEnded(const SlotEnded& event) {
    Socket* socket = socketOf(event.slot);
    if (socket == nullptr || socket->state == SocketState::Off)
        return;
    if (socket->state == SocketState::Programming && event.phase == SlotPhase::Programming)
        return finishChip(event.slot, event);
    // Between chips only a port that cannot serve ends a slot: gone, or its lines undriven.
    if (event.reason == EndReason::PortGone || event.failedStep == SlotStep::BootEntry) {
        socket->state = SocketState::Off;
        stopIfIdle();
    }
}

void Station::OnSlotClosed(std::int32_t slot) {
    Socket* socket = socketOf(slot);
    if (socket == nullptr || socket->state == SocketState::Off)
        return;
    socket->state = SocketState::Off;
    stopIfIdle();
}

void Station::finishChip(std::int32_t slot, const SlotEnded& ended) {
    Socket& socket = sockets_[std::size_t(slot)];
    socket.chip.ended = ended;
    socket.chip.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now() - socket.chip.startedAt);
    if (ended.result == SlotResult::Succeeded) {
        ++succeeded_;
        ++socket.succeeded;
    } else {
        ++failed_;
        ++socket.failed;
    }
    hold(slot);
    if (ended.reason == EndReason::PortGone)
        socket.state = SocketState::Off;
    if (onChipFinished)
        onChipFinished(socket.chip);
    if (stopAfter_ && succeeded_ >= *stopAfter_)
        StopOrderly();
    stopIfIdle();
}

void Station::hold(std::int32_t slot) {
    Socket& socket = sockets_[std::size_t(slot)];
    socket.state = SocketState::Holding;
    socket.silentProbes = 0;
    socket.waitingTold = false;
}

void Station::wait(std::int32_t slot) {
    Socket& socket = sockets_[std::size_t(slot)];
    socket.state = SocketState::Waiting;
    socket.heldId.reset();
    socket.silentProbes = 0;
    socket.waitingTold = true;
    if (onPortWaiting)
        onPortWaiting(slot);
}

// The station has stopped once nothing of it is at work: stopping with no chip in
// programming, or every port gone.
void Station::stopIfIdle() {
    if (!started_ || stopped_)
        return;
    bool anyOn = false;
    for (const Socket& socket : sockets_) {
        if (socket.state == SocketState::Programming)
            return;
        anyOn = anyOn || socket.state != SocketState::Off;
    }
    if (!stopping_ && anyOn)
        return;
    stopping_ = true;
    if (probeTimer_ != 0)
        loop_.stopTimer(probeTimer_);
    probeTimer_ = 0;
    stopped_ = true;
    if (onStopped)
        onStopped();
}

}  // namespace pellion
