#include "records/RecordExport.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <variant>

#include "image/FormatText.h"
#include "records/RecordTime.h"

namespace pellion::records {
namespace {

using FieldValue = std::variant<std::monostate, std::int64_t, bool, std::string>;

struct Field {
    const char* name;
    std::function<FieldValue(const ChipRecord&)> value;
};

FieldValue textOrNull(const std::string& text) {
    return text.empty() ? FieldValue() : FieldValue(text);
}

// Every exported field, in column order: the one list both formats and the docs follow.
const std::vector<Field>& fields() {
    using R = const ChipRecord&;
    static const std::vector<Field> kFields{
        {"recordId", [](R r) { return FieldValue(r.recordId); }},
        {"station", [](R r) { return FieldValue(r.station); }},
        {"port", [](R r) { return FieldValue(r.port); }},
        {"usbLocation", [](R r) { return textOrNull(r.usbLocation); }},
        {"uniqueId", [](R r) { return textOrNull(r.uniqueId); }},
        {"uniqueIdMissing", [](R r) { return textOrNull(r.uniqueIdMissing); }},
        {"deviceCode", [](R r) { return FieldValue(r.deviceCode); }},
        {"partName", [](R r) { return FieldValue(r.partName); }},
        {"imagePath", [](R r) { return FieldValue(r.image.path); }},
        {"imageStart",
         [](R r) { return FieldValue(formatText("0x%08X", unsigned(r.image.startAddress))); }},
        {"imageSize", [](R r) { return FieldValue(std::int64_t(r.image.size)); }},
        {"imageCrc32", [](R r) { return FieldValue(formatText("%08X", unsigned(r.image.crc32))); }},
        {"serialPool", [](R r) { return r.serial ? FieldValue(r.serial->pool) : FieldValue(); }},
        {"serialNumber",
         [](R r) { return r.serial ? FieldValue(std::int64_t(r.serial->number)) : FieldValue(); }},
        {"verify", [](R r) { return FieldValue(r.options.verify); }},
        {"protect", [](R r) { return FieldValue(r.options.protect); }},
        {"bootEntry", [](R r) { return textOrNull(r.options.bootEntry); }},
        {"result", [](R r) { return FieldValue(std::string(IdOf(r.result))); }},
        {"failedStep", [](R r) { return textOrNull(std::string(IdOf(r.failedStep))); }},
        {"remark", [](R r) { return FieldValue(r.remark); }},
        {"startedAt", [](R r) { return FieldValue(IsoUtcText(r.startedAtMs)); }},
        {"endedAt", [](R r) { return FieldValue(IsoUtcText(r.endedAtMs)); }},
        {"durationMs", [](R r) { return FieldValue(r.durationMs); }},
        {"toolVersion", [](R r) { return FieldValue(r.toolVersion); }},
    };
    return kFields;
}

std::string csvText(const FieldValue& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return std::to_string(*number);
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag ? "true" : "false";
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return {};
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

nlohmann::ordered_json jsonOf(const FieldValue& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return *number;
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag;
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return nullptr;
}

}  // namespace

std::string RecordsCsv(const std::vector<ChipRecord>& records) {
    std::string csv;
    for (const Field& f : fields())
        csv += std::string(&f == &fields().front() ? "" : ",") + f.name;
    csv += "\r\n";
    for (const ChipRecord& record : records) {
        for (const Field& f : fields()) {
            if (&f != &fields().front())
                csv += ',';
            csv += csvField(csvText(f.value(record)));
        }
        csv += "\r\n";
    }
    return csv;
}

std::string RecordsJson(const std::vector<ChipRecord>& records) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ChipRecord& record : records) {
        nlohmann::ordered_json object;
        for (const Field& f : fields())
            object[f.name] = jsonOf(f.value(record));
        list.push_back(std::move(object));
    }
    nlohmann::ordered_json document;
    document["format"] = "pellion-records";
    document["version"] = kRecordsJsonVersion;
    document["records"] = std::move(list);
    // Text that is not valid UTF-8 (a file name in another encoding) is kept, marked, not fatal.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace pellion::records
