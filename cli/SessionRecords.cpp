#include "cli/SessionRecords.h"

#include "cli/SessionReport.h"
#include "records/ChipRecorder.h"
#include "records/RecordService.h"

namespace pellion::cli {
namespace {

using namespace pellion::records;

class StoredSessionRecords : public SessionRecords {
  public:
    StoredSessionRecords(const SessionOptions& options, OwnerLoop& loop, RunControl& control,
                         std::function<void(const std::string&)> problem)
        : location_(RecordsLocationOf(*options.records)),
          service_(ServiceConfigFor(location_)),
          recorder_(loop, control, service_, setupOf(options)) {
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

  private:
    static RecorderSetup setupOf(const SessionOptions& options) {
        RecorderSetup setup;
        setup.imagePath = options.file;
        setup.bootEntry = options.bootEntryText;
        setup.language = options.language;
        return setup;
    }

    RecordsLocation location_;
    RecordService service_;
    ChipRecorder recorder_;  // after the service: it goes first
};

}  // namespace

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
