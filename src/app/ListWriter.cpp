#include "app/ListWriter.h"

#include <array>

#include "app/FileTexts.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace qv {

namespace {

constexpr std::array<const char*, 8> kKeys = {"record",  "name",    "type", "size",
                                              "created", "deleted", "path", "state"};

// The values of a file in the order of kKeys; numbers say so.
struct Cell {
    std::string text;
    bool number = false;
};

std::array<Cell, 8> Cells(const DeletedFile& file, char16_t letter) {
    return {{{std::to_string(file.record), true},
             {ToUtf8(file.name)},
             {ToUtf8(TypeOf(file.name))},
             {std::to_string(file.size), true},
             {ToUtf8(TimeText(file.created))},
             {ToUtf8(TimeText(file.deleted))},
             {ToUtf8(PathText(file, letter))},
             {ToUtf8(StateText(file))}}};
}

// Quoted when it holds a separator, a quote or a line break, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

const char* ShortEscape(char c) {
    switch (c) {
        case '\b': return "\\b";
        case '\f': return "\\f";
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        default: return nullptr;
    }
}

// As the terminal's JSON writes strings: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (const char* shortForm = ShortEscape(c)) {
            out += shortForm;
        } else if (u < 0x20) {
            out += "\\u00";
            out += kDigits[u >> 4];
            out += kDigits[u & 0xF];
        } else {
            out += c;
        }
    }
    return out + '"';
}

}  // namespace

std::optional<ListFormat> ListFormatFor(const std::u16string& path) {
    const size_t dot = path.rfind(u'.');
    const size_t slash = path.rfind(u'/');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash))
        return std::nullopt;
    std::u16string ending = path.substr(dot + 1);
    for (char16_t& c : ending)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (ending == u"csv") return ListFormat::kCsv;
    if (ending == u"jsonl" || ending == u"json") return ListFormat::kJsonLines;
    return std::nullopt;
}

std::string FormatFileList(const std::vector<DeletedFile>& files, ListFormat format,
                           char16_t letter) {
    std::string text;
    if (format == ListFormat::kCsv) {
        for (size_t k = 0; k < kKeys.size(); ++k)
            text += std::string(k ? "," : "") + kKeys[k];
        text += "\r\n";
    }
    for (const DeletedFile& file : files) {
        const std::array<Cell, 8> cells = Cells(file, letter);
        if (format == ListFormat::kCsv) {
            for (size_t k = 0; k < cells.size(); ++k)
                text += (k ? "," : "") + CsvField(cells[k].text);
            text += "\r\n";
        } else {
            text += '{';
            for (size_t k = 0; k < cells.size(); ++k) {
                text += (k ? "," : "") + JsonString(kKeys[k]) + ":";
                text += cells[k].number ? cells[k].text : JsonString(cells[k].text);
            }
            text += "}\n";
        }
    }
    return text;
}

Status WriteFileList(const std::u16string& path, const std::vector<DeletedFile>& files,
                     ListFormat format, char16_t letter) {
    const std::string text = FormatFileList(files, format, letter);
    File file;
    if (Status opened = file.Open(path, File::Mode::kCreate); !opened) return opened;
    return file.Write(text.data(), text.size());
}

}  // namespace qv
