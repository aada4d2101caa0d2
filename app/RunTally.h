#pragma once

#include <QString>
#include <cstdint>
#include <set>

namespace pellion {

// The running counts of one programming run, shown beside the elapsed time: slots that
// succeeded, failed (or were cancelled) and are still going.
class RunTally {
  public:
    // The first start after close() begins a new run's counts.
    void slotStarted(std::int32_t slot);
    void slotEnded(std::int32_t slot, bool succeeded);
    // The run is over; its counts stay on show until the next run starts.
    void close() { open_ = false; }

    int succeeded() const { return succeeded_; }
    int failed() const { return failed_; }
    int inProgress() const { return static_cast<int>(running_.size()); }
    // Empty before the first run.
    QString text() const;

  private:
    bool open_ = false;
    bool shown_ = false;
    int succeeded_ = 0;
    int failed_ = 0;
    std::set<std::int32_t> running_;
};

}  // namespace pellion
