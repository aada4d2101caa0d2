#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/SqlSession.h"

namespace pellion::records {

// A request for the next number of a named pool, for the chip whose record will carry
// `recordId`. A pool that does not exist yet starts at startNumber.
struct SerialRequest {
    std::string pool;
    std::uint32_t startNumber = 1;
    std::string recordId;
    std::string station;
};

// A number held for one chip until it is bound (the chip succeeded) or released.
struct SerialAllocation {
    std::string pool;
    std::uint32_t number = 0;
    std::string recordId;

    friend bool operator==(const SerialAllocation&, const SerialAllocation&) = default;
};

// free: back in the pool, handed out before any new number; allocated: held by a chip in
// progress (or by one whose station stopped before saying how it ended); bound: in a chip.
enum class SerialState { Free, Allocated, Bound };

struct SerialNumberState {
    std::uint32_t number = 0;
    SerialState state = SerialState::Free;
    std::string recordId;
    std::string station;
    std::int64_t changedAtMs = 0;
};

std::string_view IdOf(SerialState state);

// The pool operations, each in its own transaction on `session`. Allocation takes the pool's
// row lock (PostgreSQL) or the database's write lock (SQLite), so two stations never get the
// same number. Allocating again for the same record id returns the number it already holds.
StoreResult<SerialAllocation> AllocateSerial(SqlSession& session, const SerialRequest& request);
// Gives a held number back to the pool. A number already bound is refused.
StoreResult<> ReleaseSerial(SqlSession& session, const SerialAllocation& allocation);
// Inside the caller's transaction: binds the number (succeeded) or releases it (otherwise).
// Does nothing unless this record still holds it, so settling twice is harmless.
StoreResult<> SettleSerial(SqlSession& session, const SerialAllocation& allocation, bool succeeded);
StoreResult<std::vector<SerialNumberState>> ListSerialNumbers(SqlSession& session,
                                                              const std::string& pool);

}  // namespace pellion::records
