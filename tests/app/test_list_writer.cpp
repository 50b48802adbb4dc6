// The list written out: rows as other programs read them (RFC 4180 CSV, JSON with the same keys),
// and the format a file name asks for. The rows' order in a file written, and a file that cannot
// be made, are the Export list's tests (tests/ui/test_preview.cpp).
#include <gtest/gtest.h>

#include "app/FileExport.h"
#include "app/ListWriter.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

DeletedFile File(uint64_t record, std::u16string name, uint64_t size, FileState state,
                 uint8_t percent = 0, const FolderPath& folder = {}) {
    DeletedFile f;
    f.record = record;
    f.name = std::move(name);
    f.folder = folder;
    f.rooted = true;
    f.size = size;
    f.state = state;
    f.overwrittenPercent = percent;
    return f;
}

TEST(FileExport, CsvQuotesWhatNeedsItAndJsonCarriesTheSameValues) {
    const std::tuple<const char16_t*, FileState, uint8_t, const char*, const char*> cases[] = {
        {u"plain.txt", FileState::kIntact, 0, "7,plain.txt,txt,10,,,C:\\Docs\\,intact,\r\n",
         R"({"record":7,"name":"plain.txt","type":"txt","size":10,"created":"","deleted":"",)"
         R"("path":"C:\\Docs\\","state":"intact"})"},
        {u"a, \"b\".txt", FileState::kPartlyOverwritten, 35,
         "7,\"a, \"\"b\"\".txt\",txt,10,,,C:\\Docs\\,partly overwritten,35\r\n",
         R"({"record":7,"name":"a, \"b\".txt","type":"txt","size":10,"created":"","deleted":"",)"
         R"("path":"C:\\Docs\\","state":"partly overwritten","overwritten_percent":35})"},
        {u"two\r\nlines,.x", FileState::kUnknown, 0,
         "7,\"two\r\nlines,.x\",x,10,,,C:\\Docs\\,unknown,\r\n", nullptr},
        {u"\"", FileState::kResident, 0, "7,\"\"\"\",,10,,,C:\\Docs\\,resident,\r\n", nullptr},
    };
    for (const auto& [name, state, percent, csv, json] : cases) {
        const DeletedFile file = File(7, name, 10, state, percent, test::PathOf({u"Docs"}));
        EXPECT_EQ(CsvLine(file, u'C'), csv);
        if (json) {
            EXPECT_EQ(JsonLine(file, u'C'), json);
        }
    }
}

TEST(ListWriter, TheNamesEndingChoosesTheFormat) {
    const std::pair<std::u16string, std::optional<ListFormat>> cases[] = {
        {u"/tmp/list.csv", ListFormat::kCsv},
        {u"/tmp/LIST.CSV", ListFormat::kCsv},
        {u"/tmp/list.jsonl", ListFormat::kJsonLines},
        {u"/tmp/list.Json", ListFormat::kJsonLines},
        {u"/tmp/list.txt", std::nullopt},
        {u"/tmp/list", std::nullopt},
        {u"/tmp/a.csv/list", std::nullopt},  // the dot is the folder's
        {u"/tmp/list.csv.gz", std::nullopt},
    };
    for (const auto& [path, format] : cases)
        EXPECT_EQ(ListFormatFor(path), format);
    // No rows: nothing at all in JSON Lines.
    EXPECT_EQ(FormatFileList({}, ListFormat::kJsonLines, u'E'), "");
}

}  // namespace
}  // namespace qv
