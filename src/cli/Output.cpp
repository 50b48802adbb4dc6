#include "cli/Output.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include "app/FileExport.h"
#include "app/FileTexts.h"
#include "platform/Text.h"

namespace qv {

namespace {

const std::array<const char*, kColumnCount> kHeadings = {"Name",    "Type", "Size", "Created",
                                                         "Deleted", "Path", "State"};

// Terminal columns a UTF-8 text takes (one per code point; good enough for a table).
size_t Width(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The state in at most 11 columns ("partly 35 %"), for a narrow table.
std::string ShortState(const DeletedFile& file) {
    if (file.state == FileState::kPartlyOverwritten)
        return "partly " + std::to_string(file.overwrittenPercent) + " %";
    return std::string(StateName(file.state));
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

Rows ListedByName(const std::vector<DeletedFile>& files) {
    Rows rows;
    rows.reserve(files.size());
    for (const DeletedFile& file : files)
        rows.push_back(&file);
    std::sort(rows.begin(), rows.end(),
              [](const DeletedFile* a, const DeletedFile* b) { return ListedBefore(*a, *b); });
    return rows;
}

size_t TerminalWidth(std::FILE* out) {
    const int fd = ::fileno(out);
    if (fd < 0 || !::isatty(fd)) return 0;
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

bool WritesToNullDevice(std::FILE* out) {
    struct stat written {
    }, null{};
    const int fd = ::fileno(out);
    return fd >= 0 && ::fstat(fd, &written) == 0 && S_ISCHR(written.st_mode) &&
           ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
           written.st_rdev == null.st_rdev;
}

bool SameDestination(std::FILE* a, std::FILE* b) {
    struct stat sa {
    }, sb{};
    const int fa = ::fileno(a), fb = ::fileno(b);
    if (fa < 0 || fb < 0 || ::fstat(fa, &sa) != 0 || ::fstat(fb, &sb) != 0) return true;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void PrintTable(const Rows& rows, char16_t letter, std::FILE* out, size_t width) {
    std::vector<std::array<std::string, kColumnCount>> cells;
    std::array<size_t, kColumnCount> widths{};
    for (int c = 0; c < kColumnCount; ++c)
        widths[c] = Width(kHeadings[c]);
    // Files of one folder share their path: its text is made once.
    std::unordered_map<uintptr_t, std::string> paths;  // by folder chain and rootedness
    cells.reserve(rows.size());
    for (const DeletedFile* row : rows) {
        const DeletedFile& file = *row;
        auto& line = cells.emplace_back();
        for (int c = 0; c < kColumnCount; ++c) {
            const Column column = static_cast<Column>(c);
            if (column == Column::kPath) {
                const uintptr_t key =
                    reinterpret_cast<uintptr_t>(file.folder.Identity()) * 2 + file.rooted;
                auto [it, made] = paths.try_emplace(key);
                if (made) it->second = ToUtf8(PathText(file, letter));
                line[c] = it->second;
            } else {
                line[c] = ToUtf8(ColumnText(file, column, letter));
            }
            widths[c] = std::max(widths[c], Width(line[c]));
        }
    }
    if (width > 0) {
        // Name and Path share what the other columns and the gaps leave. When that is little,
        // the other columns give up what matters least first: the state its words ("partly
        // 35 %"), then the dates their time of day.
        constexpr size_t kName = 0, kPath = static_cast<size_t>(Column::kPath), kMinimum = 8,
                         kComfortable = 16;
        const auto fixedWidth = [&] {
            size_t fixed = 2 * (kColumnCount - 1);
            for (size_t c = 0; c < kColumnCount; ++c)
                if (c != kName && c != kPath) fixed += widths[c];
            return fixed;
        };
        const auto cramped = [&] {
            const size_t fixed = fixedWidth();
            return widths[kName] + widths[kPath] + fixed > width &&
                   width < fixed + 2 * kComfortable;
        };
        const auto shorten = [&](size_t column, auto shorter) {
            widths[column] = Width(kHeadings[column]);
            for (size_t i = 0; i < cells.size(); ++i) {
                cells[i][column] = shorter(*rows[i], cells[i][column]);
                widths[column] = std::max(widths[column], Width(cells[i][column]));
            }
        };
        constexpr size_t kState = static_cast<size_t>(Column::kState);
        if (cramped())
            shorten(kState, [](const DeletedFile& f, const std::string&) { return ShortState(f); });
        for (const Column date : {Column::kCreated, Column::kDeleted})
            if (cramped())
                shorten(static_cast<size_t>(date), [](const DeletedFile&, const std::string& t) {
                    return t.substr(0, 10);  // "YYYY-mm-dd"
                });
        const size_t fixed = fixedWidth();
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
        for (int c = 0; c < kColumnCount; ++c) {
            const std::string cell = line[c];
            const bool right = c == 2;  // sizes line up on the right
            const std::string pad(widths[c] - Width(cell), ' ');
            text += right ? pad + cell : (c + 1 < kColumnCount ? cell + pad : cell);
            if (c + 1 < kColumnCount) text += "  ";
        }
        std::fprintf(out, "%s\n", text.c_str());
    };
    std::array<std::string, kColumnCount> heading;
    for (int c = 0; c < kColumnCount; ++c)
        heading[c] = kHeadings[c];
    print(heading);
    for (const auto& line : cells)
        print(line);
}

void PrintJsonLines(const Rows& rows, char16_t letter, std::FILE* out) {
    for (const DeletedFile* file : rows)
        std::fprintf(out, "%s\n", JsonLine(*file, letter).c_str());
}

void PrintCsv(const Rows& rows, char16_t letter, std::FILE* out) {
    std::fputs(CsvHeader().c_str(), out);
    for (const DeletedFile* file : rows)
        std::fputs(CsvLine(*file, letter).c_str(), out);
}

}  // namespace qv
