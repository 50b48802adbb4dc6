// Developer traces: a line per event into $QUORVANE_TRACE_DIR/<file>, only when that folder
// exists, never through a link; the work that traces goes on the same either way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "deepscan/DeletedFileImages.h"
#include "deepscan/ImageChange.h"
#include "ntfs/FileRecord.h"
#include "support/AsNobody.h"
#include "support/Fixtures.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

// A trace file, the work that traces into it once (and checks its outcome), and how each of its
// lines ends (the start may hold addresses).
const std::tuple<const char*, std::function<void()>, std::string> kProducers[] = {
    // Parsing a record (number 0x2a) that carries an attribute list.
    {"20.r",
     [] {
         auto image = test::RecordBuilder()
                          .RecordNumber(0x2a)
                          .ResidentAttributeList({{0x80, 0, 50, 0, u""}})
                          .Build();
         FileRecord r;
         r.SetHeader(image);
         EXPECT_EQ(r.Parse(image, 4096), Parsed::kFine);
         EXPECT_EQ(r.AttributeListCount(), 1u);
     },
     "pasrse 20 Attr rec record = 2a\n"},
    // A logged change that reaches a deleted file's record image.
    {"lsn.r",
     [] {
         DeletedFileImages file;
         ASSERT_TRUE(file.SetBaseImage(40, test::RecordBuilder().Build()));
         const std::vector<uint8_t> data(0x50, 1);
         RecordChange change;
         change.recordNumber = 40;
         change.recordOff = 0x38;
         change.data = data;
         EXPECT_EQ(ApplyToFileImages(file, change), UndoResult::kNothingToDo);
     },
     "   recordOff =38  attrOff = 0   dataLen = 50\n"},
};

TEST(Trace, LinesGoOnlyIntoAnExistingFolderAndNeverThroughALink) {
    for (const auto& [file, work, lineEnd] : kProducers) {
        SCOPED_TRACE(file);
        test::OpenTempFolder dir;
        const std::string trace = dir.path + "/" + file;
        ::unsetenv("QUORVANE_TRACE_DIR");
        work();
        ::setenv("QUORVANE_TRACE_DIR", (dir.path + "/missing").c_str(), 1);
        work();
        EXPECT_FALSE(test::PathExists(dir.path + "/missing"));
        EXPECT_FALSE(test::PathExists(trace));

        ::setenv("QUORVANE_TRACE_DIR", dir.path.c_str(), 1);
        work();
        work();
        const std::string text = test::ReadText(trace);
        EXPECT_TRUE(text.ends_with(lineEnd)) << text;
        EXPECT_TRUE(text.substr(0, text.find('\n') + 1).ends_with(lineEnd)) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

        std::remove(trace.c_str());
        std::ofstream(dir.path + "/victim") << "keep";
        ASSERT_EQ(::symlink((dir.path + "/victim").c_str(), trace.c_str()), 0);
        work();
        EXPECT_EQ(test::ReadText(dir.path + "/victim"), "keep");
        ::unsetenv("QUORVANE_TRACE_DIR");
    }
}

}  // namespace
}  // namespace qv
