#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/ProgramSession.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"

namespace pellion::cli {

// The records of a `program` or `station` session (--records): every chip it touched gets one,
// committed before its row shows the result. Owner thread only.
class SessionRecords {
  public:
    virtual ~SessionRecords() = default;

    // A chip that ended without a programming cycle (not identified, refused) in a run of
    // `image`; `stored` follows on the owner thread once its record is committed or has failed.
    virtual void recordWithoutCycle(std::int32_t slot, const PortOutcome& outcome,
                                    const ImageSummary& image,
                                    std::function<void()> stored = {}) = 0;
    // Records handed in whose commit has not been answered yet.
    virtual std::size_t unanswered() const = 0;
    // Records committed locally that still wait for the shared database; 0 without one.
    virtual std::int64_t waitingForUpload() const = 0;
    virtual bool shared() const = 0;
    // Where the records go, for messages (a connection without its password).
    virtual std::string where() const = 0;
    // The serial block every cycle's inputs carry; none without --serial-at.
    virtual std::optional<SerialBlockPlan> serialPlan() const = 0;
};

// What is wrong with the serial options (a format that does not parse, a pool without an
// address or the other way round); nothing when they are fine or absent.
std::optional<std::string> SerialOptionsProblem(const SessionOptions& options);
// Why the serial block cannot go where it is asked for, whatever the chip (it overlaps the
// image, is not word-aligned, or lies in no known chip's flash); empty when some chip takes it.
std::string SerialPlacementProblem(const SessionOptions& options, const FirmwareImage& image);

// Whether this build keeps records (Windows' does not: no libsqlite3 and libpq there).
bool RecordsAvailable();

// The records at `options.records` (empty text: the default file) for the session run by
// `control`; null when it keeps none. Problems storing a record go to `problem`.
std::unique_ptr<SessionRecords> OpenSessionRecords(const SessionOptions& options, OwnerLoop& loop,
                                                   RunControl& control,
                                                   std::function<void(const std::string&)> problem);

// Runs the loop until every record handed in is answered and, with a shared database, until
// the spool is empty or `uploadWait` has passed (what is left is uploaded on the next start).
void FinishRecords(OwnerLoop& loop, SessionRecords& records, std::chrono::milliseconds uploadWait);

}  // namespace pellion::cli
