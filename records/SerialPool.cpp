#include "records/SerialPool.h"

#include <array>

#include "image/FormatText.h"
#include "records/RecordTime.h"

namespace pellion::records {
namespace {

constexpr std::int64_t kLastNumber = 0xFFFFFFFF;  // numbers are written as 32 bits at most

constexpr std::array<std::string_view, 3> kStateIds{"free", "allocated", "bound"};

std::int64_t parseNumber(const std::optional<std::string>& text) {
    return text ? std::stoll(*text) : 0;
}

StoreResult<std::optional<std::int64_t>> heldNumber(SqlSession& session,
                                                    const SerialRequest& request) {
    auto rows = session.run(
        "SELECT number FROM serial_numbers WHERE pool = $1 AND record_id = $2 AND state = "
        "'allocated'",
        {request.pool, request.recordId});
    if (!rows)
        return rows.error();
    if (auto value = FirstValue(rows.value()))
        return std::optional<std::int64_t>(std::stoll(*value));
    return std::optional<std::int64_t>();
}

// Inside the transaction, with the pool's row locked: the lowest released number, else the
// pool's next one.
StoreResult<std::int64_t> takeNumber(SqlSession& session, const SerialRequest& request,
                                     std::int64_t nextNumber) {
    const std::int64_t now = NowUtcMs();
    auto free = session.run(
        "SELECT number FROM serial_numbers WHERE pool = $1 AND state = 'free' "
        "ORDER BY number LIMIT 1",
        {request.pool});
    if (!free)
        return free.error();
    if (auto value = FirstValue(free.value())) {
        const std::int64_t number = std::stoll(*value);
        auto taken = session.run(
            "UPDATE serial_numbers SET state = 'allocated', record_id = $3, station = $4, "
            "changed_at_ms = $5 WHERE pool = $1 AND number = $2",
            {request.pool, number, request.recordId, request.station, now});
        if (!taken)
            return taken.error();
        return number;
    }
    if (nextNumber > kLastNumber)
        return StoreResult<std::int64_t>::failure(
            formatText("序列号池%s已用完(最大%lld)", request.pool.c_str(), (long long)kLastNumber));
    auto advanced = session.run(
        "UPDATE serial_pools SET next_number = next_number + 1 WHERE name = $1", {request.pool});
    if (!advanced)
        return advanced.error();
    auto inserted = session.run(
        "INSERT INTO serial_numbers (pool, number, state, record_id, station, changed_at_ms) "
        "VALUES ($1, $2, 'allocated', $3, $4, $5)",
        {request.pool, nextNumber, request.recordId, request.station, now});
    if (!inserted)
        return inserted.error();
    return nextNumber;
}

}  // namespace

std::string_view IdOf(SerialState state) {
    return kStateIds[std::size_t(state)];
}

StoreResult<SerialAllocation> AllocateSerial(SqlSession& session, const SerialRequest& request) {
    if (request.pool.empty() || request.recordId.empty())
        return StoreResult<SerialAllocation>::failure("序列号池名称和记录编号不能为空");
    SqlTransaction transaction(session);
    if (auto begun = transaction.begin(); !begun)
        return begun.error();
    auto held = heldNumber(session, request);
    if (!held)
        return held.error();
    std::int64_t number = 0;
    if (held.value()) {
        number = *held.value();  // a retry whose first answer was lost
    } else {
        auto created = session.run(
            "INSERT INTO serial_pools (name, start_number, next_number) VALUES ($1, $2, $2) "
            "ON CONFLICT (name) DO NOTHING",
            {request.pool, std::int64_t(request.startNumber)});
        if (!created)
            return created.error();
        auto pool = session.run("SELECT next_number FROM serial_pools WHERE name = $1" +
                                    std::string(session.rowLockClause()),
                                {request.pool});
        if (!pool)
            return pool.error();
        auto taken = takeNumber(session, request, parseNumber(FirstValue(pool.value())));
        if (!taken)
            return taken.error();
        number = taken.value();
    }
    if (auto committed = transaction.commit(); !committed)
        return committed.error();
    return SerialAllocation{request.pool, std::uint32_t(number), request.recordId};
}

StoreResult<> SettleSerial(SqlSession& session, const SerialAllocation& allocation,
                           bool succeeded) {
    const char* sql = succeeded
                          ? "UPDATE serial_numbers SET state = 'bound', changed_at_ms = $4 "
                            "WHERE pool = $1 AND number = $2 AND record_id = $3 AND state = "
                            "'allocated'"
                          : "UPDATE serial_numbers SET state = 'free', record_id = NULL, "
                            "station = NULL, changed_at_ms = $4 WHERE pool = $1 AND number = $2 "
                            "AND record_id = $3 AND state = 'allocated'";
    auto settled = session.run(
        sql, {allocation.pool, std::int64_t(allocation.number), allocation.recordId, NowUtcMs()});
    if (!settled)
        return settled.error();
    return Done{};
}

StoreResult<> ReleaseSerial(SqlSession& session, const SerialAllocation& allocation) {
    SqlTransaction transaction(session);
    if (auto begun = transaction.begin(); !begun)
        return begun;
    auto bound = session.run(
        "SELECT 1 FROM serial_numbers WHERE pool = $1 AND number = $2 AND record_id = $3 AND "
        "state = 'bound'",
        {allocation.pool, std::int64_t(allocation.number), allocation.recordId});
    if (!bound)
        return bound.error();
    if (!bound.value().rows.empty()) {
        return StoreResult<>::failure(
            formatText("序列号%u已写入芯片,不能收回", unsigned(allocation.number)));
    }
    if (auto settled = SettleSerial(session, allocation, false); !settled)
        return settled;
    return transaction.commit();
}

StoreResult<std::vector<SerialNumberState>> ListSerialNumbers(SqlSession& session,
                                                              const std::string& pool) {
    auto rows = session.run(
        "SELECT number, state, record_id, station, changed_at_ms FROM serial_numbers "
        "WHERE pool = $1 ORDER BY number",
        {pool});
    if (!rows)
        return rows.error();
    std::vector<SerialNumberState> out;
    for (const auto& row : rows.value().rows) {
        SerialNumberState s;
        s.number = std::uint32_t(parseNumber(row[0]));
        for (std::size_t i = 0; i < kStateIds.size(); ++i) {
            if (row[1] && *row[1] == kStateIds[i])
                s.state = SerialState(i);
        }
        s.recordId = row[2].value_or("");
        s.station = row[3].value_or("");
        s.changedAtMs = parseNumber(row[4]);
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace pellion::records
