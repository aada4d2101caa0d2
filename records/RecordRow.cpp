#include "records/RecordRow.h"

#include "image/FormatText.h"

namespace pellion::records {

const char* const kRecordColumns =
    "record_id, station, port, usb_location, unique_id, unique_id_missing, device_code, "
    "part_name, image_path, image_start, image_size, image_crc32, serial_pool, serial_number, "
    "verify, protect, boot_entry, result, failed_step, remark, started_at_ms, ended_at_ms, "
    "duration_ms, tool_version";

const char* const kRecordPlaceholders =
    "$1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, "
    "$21, $22, $23, $24";

namespace {

constexpr std::size_t kColumnCount = 24;

std::int64_t numberAt(const std::vector<std::optional<std::string>>& row, std::size_t i) {
    return row[i] ? std::stoll(*row[i]) : 0;
}

std::string textAt(const std::vector<std::optional<std::string>>& row, std::size_t i) {
    return row[i].value_or("");
}

}  // namespace

std::vector<SqlValue> RecordParams(const ChipRecord& r) {
    SqlValue pool, number;
    if (r.serial) {
        pool = r.serial->pool;
        number = std::int64_t(r.serial->number);
    }
    return {r.recordId,
            r.station,
            r.port,
            r.usbLocation,
            r.uniqueId,
            r.uniqueIdMissing,
            r.deviceCode,
            r.partName,
            r.image.path,
            std::int64_t(r.image.startAddress),
            std::int64_t(r.image.size),
            std::int64_t(r.image.crc32),
            pool,
            number,
            std::int64_t(r.options.verify),
            std::int64_t(r.options.protect),
            r.options.bootEntry,
            std::string(IdOf(r.result)),
            std::string(IdOf(r.failedStep)),
            r.remark,
            r.startedAtMs,
            r.endedAtMs,
            r.durationMs,
            r.toolVersion};
}

StoreResult<ChipRecord> RecordFromRow(const std::vector<std::optional<std::string>>& row) {
    if (row.size() != kColumnCount)
        return StoreResult<ChipRecord>::failure("记录数据库返回的列数不对");
    ChipRecord r;
    r.recordId = textAt(row, 0);
    r.station = textAt(row, 1);
    r.port = textAt(row, 2);
    r.usbLocation = textAt(row, 3);
    r.uniqueId = textAt(row, 4);
    r.uniqueIdMissing = textAt(row, 5);
    r.deviceCode = textAt(row, 6);
    r.partName = textAt(row, 7);
    r.image.path = textAt(row, 8);
    r.image.startAddress = std::uint32_t(numberAt(row, 9));
    r.image.size = std::uint32_t(numberAt(row, 10));
    r.image.crc32 = std::uint32_t(numberAt(row, 11));
    if (row[12] && row[13])
        r.serial = SerialAssignment{*row[12], std::uint32_t(numberAt(row, 13))};
    r.options.verify = numberAt(row, 14) != 0;
    r.options.protect = numberAt(row, 15) != 0;
    r.options.bootEntry = textAt(row, 16);
    const auto result = ChipResultFromId(textAt(row, 17));
    const auto step = ChipStepFromId(textAt(row, 18));
    if (!result || !step) {
        return StoreResult<ChipRecord>::failure(
            formatText("记录%s的结果或步骤(%s/%s)无法识别", r.recordId.c_str(),
                       textAt(row, 17).c_str(), textAt(row, 18).c_str()));
    }
    r.result = *result;
    r.failedStep = *step;
    r.remark = textAt(row, 19);
    r.startedAtMs = numberAt(row, 20);
    r.endedAtMs = numberAt(row, 21);
    r.durationMs = numberAt(row, 22);
    r.toolVersion = textAt(row, 23);
    return r;
}

}  // namespace pellion::records
