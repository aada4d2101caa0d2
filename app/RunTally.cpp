#include "app/RunTally.h"

#include "app/WindowTexts.h"

namespace pellion {

void RunTally::slotStarted(std::int32_t slot) {
    if (!open_) {
        open_ = true;
        shown_ = true;
        succeeded_ = 0;
        failed_ = 0;
        running_.clear();
    }
    running_.insert(slot);
}

void RunTally::slotEnded(std::int32_t slot, bool succeeded) {
    // A slot counts once, and only for the run that started it.
    if (running_.erase(slot) == 0)
        return;
    ++(succeeded ? succeeded_ : failed_);
}

QString RunTally::text() const {
    if (!shown_)
        return {};
    return windowText(kTextRunCounts).arg(succeeded_).arg(failed_).arg(inProgress());
}

}  // namespace pellion
