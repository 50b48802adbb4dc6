// The rows other programs read: CSV quoted as RFC 4180 says, JSON with the same keys.
#include <gtest/gtest.h>

#include "app/FileExport.h"

namespace qv {
namespace {

TEST(FileExport, CsvQuotesWhatNeedsItAndJsonCarriesTheSameValues) {
    EXPECT_EQ(CsvHeader(),
              "record,name,type,size,created,deleted,path,state,overwritten_percent\r\n");
    const struct {
        const char16_t* name;
        FileState state;
        uint8_t percent;
        const char* csv;
        const char* json;
    } cases[] = {
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
    for (const auto& c : cases) {
        DeletedFile file;
        file.record = 7;
        file.name = c.name;
        file.size = 10;
        file.folder = FolderPath().Child(u"Docs");
        file.rooted = true;
        file.state = c.state;
        file.overwrittenPercent = c.percent;
        EXPECT_EQ(CsvLine(file, u'C'), c.csv);
        if (c.json) {
            EXPECT_EQ(JsonLine(file, u'C'), c.json);
        }
    }
}

}  // namespace
}  // namespace qv
