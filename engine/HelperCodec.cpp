#include "engine/HelperCodec.h"

#include <algorithm>

#include "image/Crc32.h"

namespace pellion {

namespace {

void putLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

std::uint32_t le32(const std::uint8_t* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

// Header, payload already in place after it, CRC.
void sealFrame(HelperCommand command, int payloadBytes, Frame& out) {
    const auto length = std::uint16_t(payloadBytes);
    out.bytes[0] = HELPER_FRAME_START;
    out.bytes[1] = std::uint8_t(command);
    out.bytes[2] = std::uint8_t(length);
    out.bytes[3] = std::uint8_t(length >> 8);
    out.bytes[4] = out.bytes[1] ^ out.bytes[2] ^ out.bytes[3] ^ HELPER_HEADER_CHECK_SEED;
    std::uint32_t crc = crc32(out.bytes.data() + 1, 3);
    crc = crc32(out.bytes.data() + HELPER_HEADER_BYTES, std::size_t(payloadBytes), crc);
    putLe32(out.bytes.data() + HELPER_HEADER_BYTES + payloadBytes, crc);
    out.length = int(HELPER_HEADER_BYTES) + payloadBytes + int(HELPER_CRC_BYTES);
}

std::uint8_t* payloadOf(Frame& out) {
    return out.bytes.data() + HELPER_HEADER_BYTES;
}

void makeWordsFrame(HelperCommand command, std::initializer_list<std::uint32_t> words, Frame& out) {
    int offset = 0;
    for (std::uint32_t word : words) {
        putLe32(payloadOf(out) + offset, word);
        offset += 4;
    }
    sealFrame(command, offset, out);
}

std::uint32_t pageAddress(const DeviceGeometry& geometry, std::uint32_t page) {
    const std::uint32_t lowPages =
        (kUniformPageBase - kFlashBase) / std::uint32_t(std::max(geometry.pageBytes, 1));
    if (page < 256 || page < lowPages)
        return kFlashBase + page * std::uint32_t(std::max(geometry.pageBytes, 1));
    return kUniformPageBase + (page - 256) * 4096;
}

}  // namespace

void MakeHelperPingFrame(Frame& out) {
    sealFrame(HelperCommand::Ping, 0, out);
}

int MakeHelperEraseFrame(std::span<const std::uint32_t> pageAddresses, Frame& out) {
    const int count = int(std::min<std::size_t>(pageAddresses.size(), kHelperMaxErasePages));
    for (int i = 0; i < count; ++i)
        putLe32(payloadOf(out) + 4 * i, pageAddresses[std::size_t(i)]);
    sealFrame(HelperCommand::Erase, 4 * count, out);
    return count;
}

int MakeHelperWriteFrame(std::uint32_t address, std::span<const std::uint8_t> data, Frame& out) {
    if (data.empty() || data.size() % 2 != 0 || data.size() > std::size_t(kHelperChunkBytes) ||
        address % 2 != 0)
        return 0;
    putLe32(payloadOf(out), address);
    std::copy(data.begin(), data.end(), payloadOf(out) + 4);
    sealFrame(HelperCommand::Write, 4 + int(data.size()), out);
    return int(data.size());
}

void MakeHelperCrcFrame(std::uint32_t address, std::uint32_t length, Frame& out) {
    makeWordsFrame(HelperCommand::Crc, {address, length}, out);
}

void MakeHelperSpeedFrame(std::uint32_t baud, Frame& out) {
    makeWordsFrame(HelperCommand::Speed, {baud}, out);
}

void MakeHelperRunFrame(Frame& out) {
    sealFrame(HelperCommand::Run, 0, out);
}

void MakeHelperResetFrame(Frame& out) {
    sealFrame(HelperCommand::Reset, 0, out);
}

std::optional<HelperAnswer> ParseHelperAnswer(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != std::size_t(kHelperAnswerBytes) || bytes[0] != HELPER_ANSWER_START)
        return std::nullopt;
    if (crc32(bytes.data() + 1, 6) != le32(bytes.data() + 7))
        return std::nullopt;
    HelperAnswer answer;
    answer.status = HelperStatus(bytes[1]);
    answer.command = bytes[2];
    answer.value = le32(bytes.data() + 3);
    return answer;
}

std::vector<std::uint32_t> HelperErasePages(const DeviceGeometry& geometry, std::uint32_t start,
                                            std::uint32_t length) {
    std::vector<std::uint32_t> pages;
    if (length == 0 || geometry.pageBytes <= 0)
        return pages;
    const std::uint32_t last = std::min(start + (length - 1), LastFlashAddress(geometry));
    for (std::uint32_t page = PageOfAddress(geometry, start); page <= PageOfAddress(geometry, last);
         ++page)
        pages.push_back(pageAddress(geometry, page));
    return pages;
}

}  // namespace pellion
