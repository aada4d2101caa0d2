#pragma once

#include <ostream>
#include <string>

#include "records/ChipRecord.h"

namespace pellion::test {

// A record with every field set and distinct per `n`; its remark holds the characters exports
// must quote (comma, quote, line break) and Chinese text. Started n minutes after a fixed time.
inline records::ChipRecord sampleRecord(int n) {
    records::ChipRecord r = records::NewChipRecord();
    r.station = "line-2 station " + std::to_string(n % 2);
    r.port = "/dev/ttyUSB" + std::to_string(n % 4);
    r.usbLocation = "1-1." + std::to_string(n % 4 + 1);
    char uid[25];
    std::snprintf(uid, sizeof uid, "0011223344556677%08X", unsigned(n));
    r.uniqueId = uid;
    r.deviceCode = "1RCB";
    r.partName = "KTM1RCB-0256";
    r.image = {"/srv/firmware/app v2.hex", 0x08000000u, 65536u + unsigned(n),
               0xCAFE0000u + unsigned(n)};
    r.serial = records::SerialAssignment{"PLN", 1000u + unsigned(n)};
    r.options = {true, n % 2 == 1, "dtr,-rts,wait 50"};
    r.result = records::ChipResult::Succeeded;
    r.failedStep = records::ChipStep::None;
    r.remark = "完成, \"OK\"\nchip " + std::to_string(n);
    r.startedAtMs = 1714550400000 + std::int64_t(n) * 60000;  // 2024-05-01T08:00:00Z
    r.durationMs = 9480 + n;
    r.endedAtMs = r.startedAtMs + r.durationMs;
    r.toolVersion = "1.0.0.0";
    return r;
}

}  // namespace pellion::test

namespace pellion::records {
// Test failures name records by id and result rather than by their bytes.
inline void PrintTo(const ChipRecord& r, std::ostream* out) {
    *out << "{" << r.recordId << " " << IdOf(r.result) << " " << r.remark << "}";
}
}  // namespace pellion::records
