#include "app/ListWriter.h"

#include "app/FileExport.h"
#include "platform/File.h"

namespace qv {

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
    std::string text = format == ListFormat::kCsv ? CsvHeader() : std::string();
    for (const DeletedFile& file : files)
        text += format == ListFormat::kCsv ? CsvLine(file, letter) : JsonLine(file, letter) + "\n";
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
