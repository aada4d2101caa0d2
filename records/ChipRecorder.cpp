#include "records/ChipRecorder.h"

#include "image/Crc32.h"
#include "records/RecordId.h"
#include "records/RecordTime.h"
#include "records/SerialPlacement.h"
#include "records/StationName.h"
#include "serial/PortDetails.h"

namespace pellion::records {

ChipResult ChipResultOf(const SlotEnded& ended) {
    return ended.result == SlotResult::Succeeded ? ChipResult::Succeeded : ChipResult::Failed;
}

ChipStep ChipStepOf(SlotStep step) {
    // The report's identifiers are the records' too.
    return ChipStepFromId(StepIdentifier(step)).value_or(ChipStep::None);
}

namespace {

std::int64_t millisecondsOf(SteadyClock::duration duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

}  // namespace

ChipRecorder::ChipRecorder(OwnerLoop& loop, RunControl& control, RecordService& service,
                           RecorderSetup setup)
    : RowTexts(setup.language),
      loop_(loop),
      control_(control),
      service_(service),
      setup_(std::move(setup)) {
    // Read once: sysfs is not read again while chips wait for their records.
    for (std::int32_t i = 0; i < control_.machine().slotCount(); ++i)
        usbLocations_.push_back(DescribeSerialPort(control_.machine().slot(i).devicePath).usbPlace);
    control_.events().subscribe(*this);
    if (setup_.serial) {
        control_.machine().serialSource = [this](std::int32_t slot,
                                                 std::function<void(SerialBlockAnswer)> answer) {
            allocate(slot, std::move(answer));
        };
        control_.placementCheck = [this](const FirmwareImage& image,
                                         const DeviceGeometry& geometry) {
            const SerialBlockPlan plan = SerialPlanOf(*setup_.serial);
            return PlaceSerialBlock(image, geometry, plan.address, plan.reservedBytes).problem;
        };
    }
    control_.machine().endHold = [this](const PortSlot& slot, const SlotEnded& ended,
                                        Task release) {
        ChipRecord record = recordOf(slot, ended.slot);
        record.result = ChipResultOf(ended);
        record.failedStep = ChipStepOf(ended.failedStep);
        if (ended.result != SlotResult::Succeeded)
            record.remark = EndingText(ended, setup_.language);
        if (ended.massErased)
            record.remark += Text(TextId::MassErasedNote, {}, setup_.language);
        current_.erase(ended.slot);
        store(std::move(record), std::move(release));
    };
}

SerialBlockPlan SerialPlanOf(const RecorderSetup::Serial& serial) {
    return {serial.address, std::uint32_t(LongestSerialBlock(serial.format))};
}

ChipRecorder::~ChipRecorder() {
    control_.machine().serialSource = nullptr;
    control_.placementCheck = nullptr;
    control_.machine().endHold = nullptr;
    control_.events().unsubscribe(*this);
}

// The number is held for the chip's record id; the record binds or frees it. An answer that
// comes after the chip's cycle ended gives its number straight back.
void ChipRecorder::allocate(std::int32_t slot, std::function<void(SerialBlockAnswer)> answer) {
    const auto current = current_.find(slot);
    if (current == current_.end())
        return answer({{}, "no record"});
    SerialRequest request{setup_.serial->pool, setup_.serial->start, current->second.recordId,
                          setup_.station.empty() ? StationName() : setup_.station};
    std::weak_ptr<bool> alive = alive_;
    OwnerLoop* loop = &loop_;
    const std::string recordId = request.recordId;
    service_.allocateSerial(std::move(request), [loop, alive, this, slot, recordId,
                                                 answer](StoreResult<SerialAllocation> result) {
        loop->post([alive, this, slot, recordId, answer, result = std::move(result)] {
            if (alive.expired())
                return;
            if (!result) {
                if (onSerialFailed)
                    onSerialFailed(result.error().message);
                return answer({{}, result.error().message});
            }
            const auto current = current_.find(slot);
            if (current == current_.end() || current->second.recordId != recordId) {
                service_.releaseSerial(result.value(), [](StoreResult<>) {});
                return;
            }
            current->second.serial = result.value();
            answer({SerialBlock(setup_.serial->format, result.value().number), {}});
        });
    });
}

void ChipRecorder::OnSlotStarted(const SlotStarted& event) {
    RowTexts::OnSlotStarted(event);
    if (event.phase == SlotPhase::Programming)
        current_[event.slot] = SlotRecord{NewRecordId(), NowUtcMs(), std::nullopt};
}

void ChipRecorder::recordWithoutCycle(std::int32_t slot, ChipResult result, ChipStep failedStep,
                                      const std::string& remark, const ImageIdentity& runImage,
                                      std::function<void()> stored) {
    ChipRecord record = recordOf(control_.machine().slot(slot), slot);
    if (record.image.size == 0)
        record.image = runImage;
    record.result = result;
    record.failedStep = failedStep;
    record.remark = remark;
    store(std::move(record), std::move(stored));
}

ChipRecord ChipRecorder::recordOf(const PortSlot& slot, std::int32_t index) {
    ChipRecord record = NewChipRecord();
    if (!setup_.station.empty())
        record.station = setup_.station;
    const auto current = current_.find(index);
    const std::int64_t durationMs =
        slot.result.ended > slot.result.started && slot.result.started != SteadyClock::time_point{}
            ? millisecondsOf(slot.result.ended - slot.result.started)
            : 0;
    if (current != current_.end()) {
        record.recordId = current->second.recordId;
        record.startedAtMs = current->second.startedAtMs;
        if (const auto& serial = current->second.serial)
            record.serial = SerialAssignment{serial->pool, serial->number};
    } else {
        record.startedAtMs = NowUtcMs() - durationMs;
    }
    record.endedAtMs = NowUtcMs();
    record.durationMs = durationMs;
    record.port = slot.portName;
    if (std::size_t(index) < usbLocations_.size())
        record.usbLocation = usbLocations_[std::size_t(index)];
    if (slot.chip.uniqueId) {
        std::uint8_t bytes[12];
        std::copy(slot.chip.uniqueId->begin(), slot.chip.uniqueId->end(), bytes);
        record.uniqueId = UniqueIdHex(bytes);
    } else {
        record.uniqueIdMissing = slot.chip.uniqueIdRefused ? "read_protected" : "not_read";
    }
    record.deviceCode = slot.chip.deviceCode;
    record.partName = slot.chip.partName;
    record.image = imageOf(slot.cycle.inputs.image);
    record.options.verify = slot.cycle.inputs.verify;
    record.options.protect = slot.cycle.inputs.protect;
    record.options.bootEntry = setup_.bootEntry;
    record.remark = remark(index);  // the row's last words: how a success ended
    return record;
}

ImageIdentity ChipRecorder::imageOf(const std::shared_ptr<const FirmwareImage>& image) {
    if (!image)
        return {};
    if (image != crcOf_) {
        crcOf_ = image;
        identity_.path = setup_.imagePath;
        identity_.startAddress = image->startAddress;
        identity_.size = image->imageSize;
        identity_.crc32 = crc32(image->imageBytes.data(), image->imageBytes.size());
    }
    return identity_;
}

void ChipRecorder::store(ChipRecord record, std::function<void()> stored) {
    ++unanswered_;
    std::weak_ptr<bool> alive = alive_;
    OwnerLoop* loop = &loop_;
    service_.store(std::move(record),
                   [loop, alive, this, stored = std::move(stored)](StoreResult<> result) {
                       loop->post([alive, this, stored, result = std::move(result)] {
                           if (alive.expired())
                               return;
                           --unanswered_;
                           // A record that could not be stored must not stop the chips: the
                           // operator is told.
                           if (!result && onStoreFailed)
                               onStoreFailed(result.error().message);
                           if (stored)
                               stored();
                       });
                   });
}

}  // namespace pellion::records
