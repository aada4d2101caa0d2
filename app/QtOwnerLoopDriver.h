#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>

#include "engine/OwnerLoop.h"

namespace pellion {

// Runs an OwnerLoop inside Qt's event loop on the window thread: handed-in work is processed
// as soon as Qt gets to it, and the loop's timers by one Qt timer set to the next deadline.
// Monitor threads may hand in work at any moment, also while this object is being destroyed.
class QtOwnerLoopDriver : public QObject {
    Q_OBJECT
  public:
    explicit QtOwnerLoopDriver(OwnerLoop& loop, QObject* parent = nullptr);
    ~QtOwnerLoopDriver() override;

    OwnerLoop& loop() { return loop_; }

  private:
    struct Link;  // the wake handler's way back to this object, cut by the destructor

    void processDue();

    OwnerLoop& loop_;
    QTimer deadlineTimer_;
    std::shared_ptr<Link> link_;
};

}  // namespace pellion
