#include "app/FileExport.h"

#include <nlohmann/json.hpp>

#include "app/FileTexts.h"
#include "platform/Text.h"

namespace qv {

namespace {

constexpr const char* kKeys[] = {
    "record", "name", "type", "size", "created", "deleted", "path", "state", "overwritten_percent"};

bool HasShare(const DeletedFile& file) {
    return file.state == FileState::kPartlyOverwritten;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string JsonLine(const DeletedFile& file, char16_t letter) {
    nlohmann::ordered_json j;
    j["record"] = file.record;
    j["name"] = ToUtf8(file.name);
    j["type"] = ToUtf8(TypeOf(file.name));
    j["size"] = file.size;
    j["created"] = ToUtf8(TimeText(file.created));
    j["deleted"] = ToUtf8(TimeText(file.deleted));
    j["path"] = ToUtf8(PathText(file, letter));
    j["state"] = std::string(StateName(file.state));
    if (HasShare(file)) j["overwritten_percent"] = file.overwrittenPercent;
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string CsvHeader() {
    std::string line;
    for (const char* key : kKeys)
        line += (line.empty() ? "" : ",") + std::string(key);
    return line + "\r\n";
}

std::string CsvLine(const DeletedFile& file, char16_t letter) {
    const std::string fields[] = {
        std::to_string(file.record),
        ToUtf8(file.name),
        ToUtf8(TypeOf(file.name)),
        std::to_string(file.size),
        ToUtf8(TimeText(file.created)),
        ToUtf8(TimeText(file.deleted)),
        ToUtf8(PathText(file, letter)),
        std::string(StateName(file.state)),
        HasShare(file) ? std::to_string(file.overwrittenPercent) : std::string(),
    };
    static_assert(std::size(fields) == std::size(kKeys));
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : ",") + CsvField(field);
    return line + "\r\n";
}

}  // namespace qv
