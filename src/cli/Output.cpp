#include "cli/Output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <string>

#include "platform/Text.h"
#include "scan/DeletedFileEntry.h"

namespace qv {

namespace {

const std::array<const char*, ListControl::kColumns> kHeadings = {"Name",    "Type",    "Size",
                                                                  "Created", "Deleted", "Path"};

// Terminal columns a UTF-8 text takes (one per code point; good enough for a table).
size_t Width(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void SortByName(MemoryListControl& list) {
    list.Sort([](const DeletedFileEntry& a, const DeletedFileEntry& b) {
        const int c = CompareEntries(a, b, DeletedFileEntry::kName);
        return c != 0 ? c < 0 : a.RecordNumber() < b.RecordNumber();
    });
}

void PrintTable(const MemoryListControl& list, std::FILE* out) {
    std::vector<std::array<std::string, ListControl::kColumns>> cells;
    std::array<size_t, ListControl::kColumns> widths{};
    for (int c = 0; c < ListControl::kColumns; ++c)
        widths[c] = Width(kHeadings[c]);
    for (const auto& row : list.Rows()) {
        auto& line = cells.emplace_back();
        for (int c = 0; c < ListControl::kColumns; ++c) {
            line[c] = ToUtf8(row.Text(c));
            widths[c] = std::max(widths[c], Width(line[c]));
        }
    }
    auto print = [&](const auto& line) {
        std::string text;
        for (int c = 0; c < ListControl::kColumns; ++c) {
            const std::string cell = line[c];
            const bool right = c == 2;  // sizes line up on the right
            const std::string pad(widths[c] - Width(cell), ' ');
            text += right ? pad + cell : (c + 1 < ListControl::kColumns ? cell + pad : cell);
            if (c + 1 < ListControl::kColumns) text += "  ";
        }
        std::fprintf(out, "%s\n", text.c_str());
    };
    std::array<std::string, ListControl::kColumns> heading;
    for (int c = 0; c < ListControl::kColumns; ++c)
        heading[c] = kHeadings[c];
    print(heading);
    for (const auto& line : cells)
        print(line);
}

void PrintJsonLines(const MemoryListControl& list, std::FILE* out) {
    for (const auto& row : list.Rows()) {
        const DeletedFileEntry* e = row.data;
        nlohmann::ordered_json j;
        j["record"] = e ? e->RecordNumber() : 0;
        j["name"] = ToUtf8(row.Text(0));
        j["type"] = ToUtf8(row.Text(1));
        j["size"] = e ? e->size : 0;
        j["created"] = ToUtf8(row.Text(3));
        j["deleted"] = ToUtf8(row.Text(4));
        j["path"] = ToUtf8(row.Text(5));
        std::fprintf(out, "%s\n",
                     j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
}

}  // namespace qv
