// The list written out: which format a file name asks for, and CSV and JSON Lines of names that
// need quoting or escaping.
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

TEST(ListWriter, CsvQuotesAndJsonEscapesWhatNamesMayHold) {
    const std::vector<DeletedFile> files = {
        File(40, u"plain.txt", 12, FileState::kIntact),
        File(41, u"a,b \"c\".doc", 0, FileState::kPartlyOverwritten, 35),
        File(42, u"line\nbreak\\tab\t\u00e9", 5000, FileState::kUnknown),
    };
    EXPECT_EQ(FormatFileList(files, ListFormat::kCsv, u'E'),
              "record,name,type,size,created,deleted,path,state\r\n"
              "40,plain.txt,txt,12,,,E:\\,intact\r\n"
              "41,\"a,b \"\"c\"\".doc\",doc,0,,,E:\\,partly overwritten (35 %)\r\n"
              "42,\"line\nbreak\\tab\t\xC3\xA9\",,5000,,,E:\\,unknown\r\n");
    EXPECT_EQ(FormatFileList(files, ListFormat::kJsonLines, u'E'),
              "{\"record\":40,\"name\":\"plain.txt\",\"type\":\"txt\",\"size\":12,\"created\":\"\","
              "\"deleted\":\"\",\"path\":\"E:\\\\\",\"state\":\"intact\"}\n"
              "{\"record\":41,\"name\":\"a,b \\\"c\\\".doc\",\"type\":\"doc\",\"size\":0,"
              "\"created\":\"\",\"deleted\":\"\",\"path\":\"E:\\\\\",\"state\":\"partly "
              "overwritten (35 %)\"}\n"
              "{\"record\":42,\"name\":\"line\\nbreak\\\\tab\\t\xC3\xA9\",\"type\":\"\","
              "\"size\":5000,\"created\":\"\",\"deleted\":\"\",\"path\":\"E:\\\\\","
              "\"state\":\"unknown\"}\n");
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
              "{\"record\":7,\"name\":\"x\",\"type\":\"\",\"size\":1,\"created\":\"\","
              "\"deleted\":\"\",\"path\":\"C:\\\\\",\"state\":\"resident\"}\n");
}

}  // namespace
}  // namespace qv
