#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "engine/BootloaderCodec.h"
#include "helper/HelperProtocol.h"

namespace pellion {

// Frames of the RAM helper's protocol (helper/HelperProtocol.h, docs/helper.md): what the host
// sends once the helper runs, and the answers it reads back.
inline constexpr std::uint32_t kHelperLoadAddress = HELPER_LOAD_ADDRESS;
inline constexpr int kHelperChunkBytes = HELPER_MAX_CHUNK_BYTES;
inline constexpr int kHelperAnswerBytes = HELPER_ANSWER_BYTES;
inline constexpr int kHelperMaxErasePages = HELPER_MAX_ERASE_PAGES;
inline constexpr int kHelperWriteWindow = HELPER_WRITE_WINDOW;

enum class HelperCommand : std::uint8_t {
    Ping = HELPER_CMD_PING,
    Erase = HELPER_CMD_ERASE,
    Write = HELPER_CMD_WRITE,
    Crc = HELPER_CMD_CRC,
    Speed = HELPER_CMD_SPEED,
    Run = HELPER_CMD_RUN,
    Reset = HELPER_CMD_RESET,
};

enum class HelperStatus : std::uint8_t {
    Ok = HELPER_STATUS_OK,
    Ready = HELPER_STATUS_READY,
    BadFrame = HELPER_STATUS_BAD_FRAME,
    BadRequest = HELPER_STATUS_BAD_REQUEST,
    Overflow = HELPER_STATUS_OVERFLOW,
    ProgramError = HELPER_STATUS_PROGRAM_ERROR,
    Protected = HELPER_STATUS_PROTECTED,
    SpeedRefused = HELPER_STATUS_SPEED_REFUSED,
};

void MakeHelperPingFrame(Frame& out);
// Erases the pages starting at these addresses, at most kHelperMaxErasePages of them; returns
// how many went into the frame.
int MakeHelperEraseFrame(std::span<const std::uint32_t> pageAddresses, Frame& out);
// One chunk: an even number of bytes, at most kHelperChunkBytes, at an even address. Returns
// the bytes taken from `data` (0 when the chunk cannot be sent as asked).
int MakeHelperWriteFrame(std::uint32_t address, std::span<const std::uint8_t> data, Frame& out);
void MakeHelperCrcFrame(std::uint32_t address, std::uint32_t length, Frame& out);
void MakeHelperSpeedFrame(std::uint32_t baud, Frame& out);
void MakeHelperRunFrame(Frame& out);
void MakeHelperResetFrame(Frame& out);

struct HelperAnswer {
    HelperStatus status = HelperStatus::Ok;
    std::uint8_t command = 0;  // the command answered; 0 for the start-up Ready
    std::uint32_t value = 0;   // address, CRC, count or baud, by command and status
};
// kHelperAnswerBytes bytes; none when the start byte or the CRC is wrong (a damaged answer).
std::optional<HelperAnswer> ParseHelperAnswer(std::span<const std::uint8_t> bytes);

// The erase pages' start addresses covering [start, start + length) on a device.
std::vector<std::uint32_t> HelperErasePages(const DeviceGeometry& geometry, std::uint32_t start,
                                            std::uint32_t length);

}  // namespace pellion
