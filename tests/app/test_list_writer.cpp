// The list written out: rows as other programs read them (RFC 4180 CSV, JSON with the same keys),
// the format a file name asks for and the rows' order. A file that cannot be made is the Export
// list's test (tests/ui/test_preview.cpp).
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
}

// The rows go out in the order given, under one heading line in CSV, one line each in JSON Lines.
TEST(ListWriter, TheRowsGoOutInTheOrderGiven) {
    const std::vector<DeletedFile> files = {
        File(41, u"b.doc", 0, FileState::kPartlyOverwritten, 35),
        File(40, u"a.txt", 12, FileState::kIntact),
    };
    EXPECT_EQ(FormatFileList(files, ListFormat::kCsv, u'E'),
              "record,name,type,size,created,deleted,path,state,overwritten_percent\r\n"
              "41,b.doc,doc,0,,,E:\\,partly overwritten,35\r\n"
              "40,a.txt,txt,12,,,E:\\,intact,\r\n");
    EXPECT_EQ(FormatFileList(files, ListFormat::kJsonLines, u'E'),
              R"({"record":41,"name":"b.doc","type":"doc","size":0,"created":"","deleted":"",)"
              R"("path":"E:\\","state":"partly overwritten","overwritten_percent":35})"
              "\n"
              R"({"record":40,"name":"a.txt","type":"txt","size":12,"created":"","deleted":"",)"
              R"("path":"E:\\","state":"intact"})"
              "\n");
    EXPECT_EQ(FormatFileList({}, ListFormat::kJsonLines, u'E'), "");
}

}  // namespace
}  // namespace qv
