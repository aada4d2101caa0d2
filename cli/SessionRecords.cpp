#include "cli/SessionRecords.h"

#include "catalogue/DeviceCatalogue.h"
#include "cli/SessionReport.h"
#include "records/ChipRecorder.h"
#include "records/RecordService.h"
#include "records/SerialPlacement.h"

namespace pellion::cli {
namespace {

using namespace pellion::records;

std::optional<RecorderSetup::Serial> serialOf(const SessionOptions& options) {
    if (!options.serialAt)
        return std::nullopt;
    RecorderSetup::Serial serial;
    serial.address = *options.serialAt;
    serial.format = ParseSerialFormat(options.serialFormat).format.value_or(SerialFormat{});
    serial.pool = options.serialPool;
    serial.start = options.serialStart;
    return serial;
}

class StoredSessionRecords : public SessionRecords {
  public:
    StoredSessionRecords(const SessionOptions& options, OwnerLoop& loop, RunControl& control,
                         std::function<void(const std::string&)> problem)
        : location_(RecordsLocationOf(*options.records)),
          serial_(serialOf(options)),
          service_(ServiceConfigFor(location_)),
          recorder_(loop, control, service_, setupOf(options)) {
        recorder_.onSerialFailed = problem;
        recorder_.onStoreFailed = std::move(problem);
    }

    void recordWithoutCycle(std::int32_t slot, const PortOutcome& outcome,
                            const ImageSummary& image, std::function<void()> stored) override {
        recorder_.recordWithoutCycle(
            slot, ChipResultFromId(ResultIdentifier(outcome.result)).value_or(ChipResult::Failed),
            ChipStepOf(outcome.failedStep), outcome.remark,
            ImageIdentity{image.path, image.startAddress, image.size, image.crc32},
            std::move(stored));
    }
    std::size_t unanswered() const override { return recorder_.unanswered(); }
    std::int64_t waitingForUpload() const override {
        return shared() ? service_.status().waiting : 0;
    }
    bool shared() const override { return location_.kind == RecordsLocation::Kind::Postgres; }
    std::string where() const override { return location_.describe(); }
    std::optional<SerialBlockPlan> serialPlan() const override {
        if (!serial_)
            return std::nullopt;
        return SerialPlanOf(*serial_);
    }

  private:
    static RecorderSetup setupOf(const SessionOptions& options) {
        RecorderSetup setup;
        setup.imagePath = options.file;
        setup.bootEntry = options.bootEntryText;
        setup.language = options.language;
        setup.serial = serialOf(options);
        return setup;
    }

    RecordsLocation location_;
    std::optional<RecorderSetup::Serial> serial_;
    RecordService service_;
    ChipRecorder recorder_;  // after the service: it goes first
};

}  // namespace

std::optional<std::string> SerialOptionsProblem(const SessionOptions& options) {
    const bool pooled = !options.serialPool.empty();
    if (options.serialAt.has_value() != pooled)
        return std::string("--serial-at and --serial-pool go together");
    const SerialFormatParse parsed = ParseSerialFormat(options.serialFormat);
    if (!parsed.format)
        return "--serial-format '" + options.serialFormat + "': " + parsed.problem;
    return std::nullopt;
}

std::string SerialPlacementProblem(const SessionOptions& options, const FirmwareImage& image) {
    const auto serial = serialOf(options);
    if (!serial)
        return {};
    const SerialBlockPlan plan = SerialPlanOf(*serial);
    std::string problem;
    for (const CatalogueEntry& entry : DeviceCatalogue().entries()) {
        const SerialPlacement placed =
            PlaceSerialBlock(image, entry.geometry, plan.address, plan.reservedBytes);
        if (placed.ok())
            return {};
        if (problem.empty())
            problem = placed.problem;
    }
    return problem;
}

bool RecordsAvailable() {
    return true;
}

std::unique_ptr<SessionRecords> OpenSessionRecords(
    const SessionOptions& options, OwnerLoop& loop, RunControl& control,
    std::function<void(const std::string&)> problem) {
    if (!options.records)
        return nullptr;
    return std::make_unique<StoredSessionRecords>(options, loop, control, std::move(problem));
}

void FinishRecords(OwnerLoop& loop, SessionRecords& records, std::chrono::milliseconds uploadWait) {
    // Every chip's record is answered before its row ends; this catches the chips recorded at
    // the session's end. The service answers promptly even when it fails.
    loop.runUntil([&] { return records.unanswered() == 0; }, std::chrono::hours(1));
    if (records.shared())
        loop.runUntil([&] { return records.waitingForUpload() == 0; }, uploadWait);
}

}  // namespace pellion::cli
