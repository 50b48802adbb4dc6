#include "cli/Output.h"

#include <sys/ioctl.h>
#include <unistd.h>
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

// The text cut to at most width columns, its last one "…" when anything was cut.
std::string Cut(const std::string& s, size_t width) {
    if (Width(s) <= width) return s;
    std::string cut;
    size_t columns = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
        if (starts && ++columns > width - 1) break;
        cut += s[i];
    }
    return cut + "\u2026";
}

}  // namespace

void SortByName(MemoryListControl& list) {
    list.Sort([](const DeletedFileEntry& a, const DeletedFileEntry& b) {
        const int c = CompareEntries(a, b, DeletedFileEntry::kName);
        return c != 0 ? c < 0 : a.RecordNumber() < b.RecordNumber();
    });
}

size_t TerminalWidth(std::FILE* out) {
    const int fd = ::fileno(out);
    if (fd < 0 || !::isatty(fd)) return 0;
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void PrintTable(const MemoryListControl& list, std::FILE* out, size_t width) {
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
    if (width > 0) {
        // Name and Path share what the other columns and the gaps leave; Name gets up to two
        // fifths, Path the rest, each at least a few columns.
        constexpr size_t kName = 0, kPath = ListControl::kColumns - 1, kMinimum = 8;
        size_t fixed = 2 * (ListControl::kColumns - 1);
        for (int c = 1; c < ListControl::kColumns - 1; ++c)
            fixed += widths[c];
        const size_t room = width > fixed + 2 * kMinimum ? width - fixed : 2 * kMinimum;
        if (widths[kName] + widths[kPath] > room) {
            size_t name = std::min(widths[kName], std::max(kMinimum, room * 2 / 5));
            size_t path = std::max(kMinimum, room - name);
            if (widths[kPath] < path) {  // Path needs less: Name takes the rest
                path = widths[kPath];
                name = room - path;
            }
            widths[kName] = std::min(widths[kName], name);
            widths[kPath] = std::min(widths[kPath], path);
            for (auto& line : cells) {
                line[kName] = Cut(line[kName], widths[kName]);
                line[kPath] = Cut(line[kPath], widths[kPath]);
            }
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
