#include "records/RecordsLocation.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "image/FormatText.h"
#include "records/PostgresSession.h"

namespace pellion::records {
namespace {

bool isConnectionText(std::string_view text) {
    if (text.starts_with("postgresql://") || text.starts_with("postgres://"))
        return true;
    // libpq's keyword form begins with a keyword and an equals sign.
    std::size_t i = 0;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
        ++i;
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i > 0 && i < text.size() && text[i] == '=';
}

std::string dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share";
}

}  // namespace

std::string RecordsLocation::describe() const {
    return kind == Kind::Postgres ? RedactedConnection(target) : target;
}

RecordsLocation RecordsLocationOf(std::string_view text) {
    if (text.empty())
        return {RecordsLocation::Kind::Sqlite, DefaultRecordsPath()};
    if (isConnectionText(text))
        return {RecordsLocation::Kind::Postgres, std::string(text)};
    return {RecordsLocation::Kind::Sqlite, std::string(text)};
}

std::string DefaultRecordsPath() {
    return dataHome() + "/Pellion/records.sqlite3";
}

StoreResult<std::unique_ptr<RecordStore>> OpenRecordStore(const RecordsLocation& location,
                                                          bool mustExist) {
    if (location.kind == RecordsLocation::Kind::Postgres)
        return OpenPostgresStore(location.target);
    if (mustExist && !std::filesystem::exists(location.target)) {
        return StoreResult<std::unique_ptr<RecordStore>>::failure(
            formatText("记录数据库%s不存在", location.target.c_str()));
    }
    return OpenSqliteStore(location.target, {.mustExist = mustExist});
}

}  // namespace pellion::records
