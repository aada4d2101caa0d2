#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/OwnerLoop.h"
#include "engine/RowTexts.h"
#include "engine/RunControl.h"
#include "records/ChipRecord.h"
#include "records/RecordService.h"
#include "records/SerialFormat.h"

namespace pellion::records {

// What every record of a session shares.
struct RecorderSetup {
    std::string station;    // empty: the host name
    std::string imagePath;  // the download file as the operator named it
    std::string bootEntry;  // the boot entry as the operator wrote it; empty: none
    OperatorLanguage language = OperatorLanguage::Chinese;
    // A serial number per chip from `pool`, written at `address` in `format`.
    struct Serial {
        std::uint32_t address = 0;
        SerialFormat format;
        std::string pool;
        std::uint32_t start = 1;  // the pool's first number, on its first use
    };
    std::optional<Serial> serial;
};

// The serial block's plan for the cycles' inputs.
SerialBlockPlan SerialPlanOf(const RecorderSetup::Serial& serial);

// Turns every chip a run or the production mode touched into one record. A programming
// cycle's end is held (PortStateMachine::endHold) until the record service has committed its
// record, and released on the owner thread, so no row shows a result whose record is not
// stored. Owner thread only; the service's answers are handed back with OwnerLoop::post.
// Declare it after the RunControl and the service, and before neither the loop: it removes its
// hold when it goes, and answers arriving later are dropped.
class ChipRecorder : public RowTexts {
  public:
    ChipRecorder(OwnerLoop& loop, RunControl& control, RecordService& service, RecorderSetup setup);
    ~ChipRecorder() override;
    ChipRecorder(const ChipRecorder&) = delete;
    ChipRecorder& operator=(const ChipRecorder&) = delete;

    // A chip that ended without a programming cycle (not identified, refused): its record from
    // what the slot knows and the run's image (when the slot holds none); `stored` follows on
    // the owner thread once it is committed (or failed).
    void recordWithoutCycle(std::int32_t slot, ChipResult result, ChipStep failedStep,
                            const std::string& remark, const ImageIdentity& runImage,
                            std::function<void()> stored = {});
    // Records handed to the service whose commit has not been answered yet.
    std::size_t unanswered() const { return unanswered_; }
    // A record could not be stored: the reason, in the operator's words (owner thread).
    std::function<void(const std::string& reason)> onStoreFailed;
    // No serial number could be had for a chip: why (owner thread).
    std::function<void(const std::string& reason)> onSerialFailed;

    void OnSlotStarted(const SlotStarted& event) override;

  private:
    struct SlotRecord {
        std::string recordId;
        std::int64_t startedAtMs = 0;
        std::optional<SerialAllocation> serial;
    };
    void allocate(std::int32_t slot, std::function<void(SerialBlockAnswer)> answer);
    ChipRecord recordOf(const PortSlot& slot, std::int32_t index);
    void store(ChipRecord record, std::function<void()> stored);
    ImageIdentity imageOf(const std::shared_ptr<const FirmwareImage>& image);

    OwnerLoop& loop_;
    RunControl& control_;
    RecordService& service_;
    RecorderSetup setup_;
    std::vector<std::string> usbLocations_;
    std::map<std::int32_t, SlotRecord> current_;
    std::shared_ptr<const FirmwareImage> crcOf_;  // the image whose identity is cached
    ImageIdentity identity_;
    std::size_t unanswered_ = 0;
    // Expires with the recorder: the service's late answers, on the owner thread, see it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The record's result and step for a cycle's end.
ChipResult ChipResultOf(const SlotEnded& ended);
ChipStep ChipStepOf(SlotStep step);

}  // namespace pellion::records
