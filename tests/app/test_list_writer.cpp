// The list written out: which format a file name asks for, the rows in their order, and a file
// that cannot be made.
#include <gtest/gtest.h>

#include "app/ListWriter.h"
#include "support/Fixtures.h"

namespace qv {
namespace {

TEST(ListWriter, TheNamesEndingChoosesTheFormat) {
    const struct {
        std::u16string path;
        std::optional<ListFormat> format;
    } cases[] = {
        {u"/tmp/list.csv", ListFormat::kCsv},
        {u"/tmp/LIST.CSV", ListFormat::kCsv},
        {u"/tmp/list.jsonl", ListFormat::kJsonLines},
        {u"/tmp/list.Json", ListFormat::kJsonLines},
        {u"/tmp/list.txt", std::nullopt},
        {u"/tmp/list", std::nullopt},
        {u"/tmp/a.csv/list", std::nullopt},  // the dot is the folder's
        {u"/tmp/list.csv.gz", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListFormatFor(c.path), c.format);
}

DeletedFile File(uint64_t record, std::u16string name, uint64_t size, FileState state,
                 uint8_t percent = 0) {
    DeletedFile f;
    f.record = record;
    f.name = std::move(name);
    f.size = size;
    f.state = state;
    f.overwrittenPercent = percent;
    f.rooted = true;
    return f;
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

TEST(ListWriter, AFileThatCannotBeMadeNamesThePathAndTheCause) {
    const std::string folder = test::MakeTempDir("list-writer");
    const Status written =
        WriteFileList(u"/proc/no-such-folder/list.csv", {}, ListFormat::kCsv, u'C');
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().Text().find("/proc/no-such-folder/list.csv"), std::string::npos);
    EXPECT_NE(written.error().osError, 0);
    const std::u16string path = u"" + std::u16string(folder.begin(), folder.end()) + u"/l.jsonl";
    ASSERT_TRUE(WriteFileList(path, {File(7, u"x", 1, FileState::kResident)},
                              ListFormat::kJsonLines, u'C'));
    const std::vector<uint8_t> bytes = test::ReadWholeFile(folder + "/l.jsonl");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              R"({"record":7,"name":"x","type":"","size":1,"created":"","deleted":"",)"
              R"("path":"C:\\","state":"resident"})"
              "\n");
}

}  // namespace
}  // namespace qv
