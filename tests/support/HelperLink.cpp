#include "support/HelperLink.h"

#include <deque>
#include <thread>

#include "engine/HelperImage.h"
#include "engine/HelperTiming.h"

namespace pellion::test {

using std::chrono::milliseconds;

bool HelperLink::send(const Frame& frame) {
    return line_.write(std::vector<std::uint8_t>(frame.data(), frame.data() + frame.length));
}

bool HelperLink::bootloaderTurn(const Frame& frame) {
    return send(frame) && line_.read(1, milliseconds(1000)) == std::vector<std::uint8_t>{ACK};
}

std::string HelperLink::load(bool usePll) {
    const std::vector<std::uint8_t> image = HelperImageFor(baud_, usePll);
    if (image.empty())
        return "the helper was not built (no cross compiler)";
    if (std::string error = loadAndGo(image); !error.empty())
        return error;
    const auto ready = readAnswer(HelperReadyTimeout(baud_));
    if (!ready || ready->status != HelperStatus::Ready)
        return "the helper did not announce itself";
    return "";
}

std::string HelperLink::loadAndGo(std::span<const std::uint8_t> image) {
    Frame frame;
    MakeSyncFrame(frame);
    if (!bootloaderTurn(frame))
        return "no answer to the sync byte";
    for (std::size_t done = 0; done < image.size();) {
        const auto address = std::uint32_t(kHelperLoadAddress + done);
        MakeCommandFrame(BootloaderCommand::WriteMemory, frame);
        if (!bootloaderTurn(frame))
            return "Write Memory refused";
        MakeAddressFrame(address, frame);
        if (!bootloaderTurn(frame))
            return "Write Memory refused RAM address " + std::to_string(address);
        const int taken =
            MakeNextWriteBlock(image.subspan(done), address,
                               std::uint32_t(kHelperLoadAddress + image.size() - 1), frame);
        if (taken <= 0 || !bootloaderTurn(frame))
            return "Write Memory refused a block";
        done += std::size_t(taken);
    }
    MakeCommandFrame(BootloaderCommand::Go, frame);
    if (!bootloaderTurn(frame))
        return "Go refused";
    MakeAddressFrame(kHelperLoadAddress, frame);
    if (!bootloaderTurn(frame))
        return "Go refused the helper's address";
    return "";
}

std::optional<HelperAnswer> HelperLink::readAnswer(milliseconds timeout) {
    const auto bytes = line_.read(kHelperAnswerBytes, timeout);
    return ParseHelperAnswer(bytes);
}

std::optional<HelperAnswer> HelperLink::exchange(const Frame& frame, milliseconds timeout) {
    if (!send(frame))
        return std::nullopt;
    return readAnswer(timeout);
}

std::optional<HelperAnswer> HelperLink::erase(const DeviceGeometry& geometry, std::uint32_t address,
                                              std::uint32_t length) {
    const auto pages = HelperErasePages(geometry, address, length);
    std::optional<HelperAnswer> answer;
    Frame frame;
    for (std::size_t done = 0; done < pages.size();) {
        const int count = MakeHelperEraseFrame(std::span(pages).subspan(done), frame);
        answer = exchange(frame, HelperEraseTimeout(count, baud_));
        if (!answer || answer->status != HelperStatus::Ok)
            return answer;
        done += std::size_t(count);
    }
    return answer;
}

std::optional<HelperAnswer> HelperLink::crc(std::uint32_t address, std::uint32_t length) {
    Frame frame;
    MakeHelperCrcFrame(address, length, frame);
    return exchange(frame, HelperCrcTimeout(length, baud_));
}

HelperLink::WriteResult HelperLink::write(std::uint32_t address, std::span<const std::uint8_t> data,
                                          const std::function<void(int, Frame&)>& damage) {
    WriteResult result;
    const int chunks = int((data.size() + kHelperChunkBytes - 1) / kHelperChunkBytes);
    const auto sendChunk = [&](int chunk, bool first) {
        const std::size_t offset = std::size_t(chunk) * kHelperChunkBytes;
        Frame frame;
        MakeHelperWriteFrame(
            address + std::uint32_t(offset),
            data.subspan(offset, std::min<std::size_t>(kHelperChunkBytes, data.size() - offset)),
            frame);
        if (first && damage)
            damage(chunk, frame);
        return send(frame);
    };
    std::deque<int> inFlight;
    int next = 0;
    while (next < chunks || !inFlight.empty()) {
        while (int(inFlight.size()) < kHelperWriteWindow && next < chunks) {
            if (!sendChunk(next, true))
                return result;
            inFlight.push_back(next++);
        }
        result.failure = readAnswer(HelperWriteTimeout(baud_));
        const int chunk = inFlight.front();
        inFlight.pop_front();
        if (!result.failure)
            return result;
        if (result.failure->status == HelperStatus::BadFrame) {
            ++result.resent;
            if (!sendChunk(chunk, false))
                return result;
            inFlight.push_back(chunk);
            continue;
        }
        const auto expected = address + std::uint32_t(chunk) * kHelperChunkBytes;
        if (result.failure->status != HelperStatus::Ok || result.failure->value != expected)
            return result;
    }
    result.ok = true;
    result.failure.reset();
    return result;
}

HelperLink::SpeedResult HelperLink::switchSpeed(std::uint32_t baud, bool hostFollows) {
    Frame frame;
    MakeHelperSpeedFrame(baud, frame);
    const auto answer = exchange(frame, HelperSpeedAnswerTimeout(baud_));
    if (!answer)
        return SpeedResult::Lost;
    if (answer->status == HelperStatus::SpeedRefused)
        return SpeedResult::Refused;
    const auto answered = std::chrono::steady_clock::now();
    if (hostFollows)
        line_.setBaud(baud);
    MakeHelperPingFrame(frame);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto ready = exchange(frame, HelperSpeedPingTimeout(baud));
        if (ready && ready->status == HelperStatus::Ready) {
            baud_ = baud;
            return SpeedResult::Switched;
        }
    }
    // Both ends go back: the helper once its window has passed without a valid frame.
    line_.setBaud(baud_);
    std::this_thread::sleep_until(answered + HelperSpeedFallbackDelay());
    line_.readUntilQuiet(milliseconds(20), milliseconds(200));
    const auto ready = exchange(frame, HelperSpeedPingTimeout(baud_));
    return ready && ready->status == HelperStatus::Ready ? SpeedResult::FellBack
                                                         : SpeedResult::Lost;
}

}  // namespace pellion::test
