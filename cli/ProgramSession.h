#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/BootSequence.h"
#include "engine/EngineTiming.h"
#include "engine/OperatorLanguage.h"
#include "engine/SlotStep.h"
#include "engine/WritePlan.h"
#include "image/DownloadFile.h"
#include "image/FirmwareImage.h"
#include "image/ImageResult.h"

namespace pellion::cli {

// What one programming session is asked to do: the command line's options.
struct SessionOptions {
    std::string file;
    std::vector<std::string> devices;      // the ports, as device paths
    std::optional<std::uint32_t> address;  // start of a raw image (8000000 when not given)
    std::uint32_t baud = 57600;
    std::uint32_t intervalMs = 0;      // write pause after every frame
    bool protect = false;              // readout protection after the download
    bool verify = true;                // read every chip back before calling it done
    std::optional<std::string> model;  // part name for the chips that do not name themselves
    BootSequences boot;                // DTR and RTS before SYNC and after programming
    std::string bootEntryText;         // --boot-entry as written, for the records
    // Where every chip's record goes (--records; empty: the default file); none: no records.
    std::optional<std::string> records;
    // A serial number per chip from a pool of the records (--serial-at and the rest).
    std::optional<std::uint32_t> serialAt;
    std::string serialFormat;  // empty: u32le
    std::string serialPool;
    std::uint32_t serialStart = 1;
    std::chrono::milliseconds identifyTimeout{30000};
    // After SIGINT or SIGTERM, how long the frames under way may take to end.
    std::chrono::milliseconds interruptGrace{10000};
    // SIGINT and SIGTERM end the session in order (BlockInterruptSignals must come first).
    bool watchInterrupts = false;
    std::optional<EngineTiming> timing;  // the engine's defaults unless set
    // The language of the rows and remarks (--lang, else the locale).
    OperatorLanguage language = OperatorLanguage::Chinese;
    WritePlan writePlan;  // block size, blank blocks skipped
};

inline constexpr std::uint32_t kDefaultRawStart = 0x08000000;

// How one port ended, for programs reading the report.
enum class PortResult { Succeeded, Failed, Refused, NotIdentified };
enum class Verification { NotRequested, Passed, Failed };

struct PortOutcome {
    std::string port;
    std::string deviceCode;  // as the chip reported it; empty when it did not
    std::string partName;
    PortResult result = PortResult::Failed;
    SlotStep failedStep = SlotStep::None;
    std::string remark;
    std::uint32_t bytesWritten = 0;       // sent and acknowledged
    std::uint32_t blankBytesSkipped = 0;  // in blank blocks left as the erase left them
    std::int32_t recoveries = 0;          // lost answers the run recovered from
    std::int64_t durationMs = 0;
    Verification verified = Verification::NotRequested;
    bool massErased = false;   // a readout unprotect erased the whole chip
    bool interrupted = false;  // ended (or never started) because the session was interrupted
    bool succeeded() const { return result == PortResult::Succeeded; }
};

// The image as the report describes it.
struct ImageSummary {
    std::string path;
    DownloadFileKind kind = DownloadFileKind::Binary;
    std::uint32_t startAddress = 0;
    std::uint32_t size = 0;
    std::uint32_t crc32 = 0;
};

struct SessionResult {
    std::vector<PortOutcome> ports;
    std::optional<ImageSummary> image;  // none when the file was refused
    std::string imageProblem;  // the file or the run was refused before any chip was touched
    bool interrupted = false;  // SIGINT or SIGTERM ended it
    std::chrono::system_clock::time_point startTime{};
    std::chrono::system_clock::time_point endTime{};
    std::int64_t wallMs = 0;
    bool allSucceeded() const;
    int programmedCount() const;
};

// Loads and checks the download file as a run would, before any port is opened.
ImageResult<FirmwareImage> LoadSessionImage(const SessionOptions& options);

// Opens every port as a tick would, waits (bounded) for the chips to be identified, leaves out
// the chips that could not be, starts the run with `image` as OK would and waits for its end.
// Rows go to `out` as a live table when it is a terminal, as plain lines otherwise; operator
// messages go to `err`.
SessionResult RunProgrammingSession(const SessionOptions& options, FirmwareImage image,
                                    std::ostream& out, std::ostream& err, bool liveTable);

// The result of a session whose file was refused: no port was opened.
SessionResult RefusedSession(const SessionOptions& options, const std::string& problem);

bool WriteTextFile(const std::string& path, const std::string& text);

// Whether `out` is the process's standard output on a terminal.
bool IsTerminal(std::ostream& out);

}  // namespace pellion::cli
