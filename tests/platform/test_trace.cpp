#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ntfs/FileRecord.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

std::string Slurp(const std::string& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Trace : ::testing::Test {
    std::string dir;
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "qvtrace-XXXXXX";
        dir = ::mkdtemp(pattern.data());
    }
    void TearDown() override { ::unsetenv("QUORVANE_TRACE_DIR"); }
    // Parses a record (number 0x2a) that carries an attribute list.
    void ParseListRecord() {
        auto image = test::RecordBuilder()
                         .RecordNumber(0x2a)
                         .ResidentAttributeList({{0x80, 0, 50, 0, u""}})
                         .Build();
        FileRecord r;
        r.SetHeader(image);
        ASSERT_EQ(r.Parse(image, 4096), 0);
        EXPECT_EQ(r.AttributeListCount(), 1u);
    }
};

TEST_F(Trace, AttributeListLineGoesIntoAnExistingTraceFolder) {
    ::setenv("QUORVANE_TRACE_DIR", dir.c_str(), 1);
    ParseListRecord();
    ParseListRecord();
    EXPECT_EQ(Slurp(dir + "/20.r"),
              "pasrse 20 Attr rec record = 2a\npasrse 20 Attr rec record = 2a\n");
}

TEST_F(Trace, NothingIsWrittenWithoutTheFolder) {
    ParseListRecord();  // no variable
    ::setenv("QUORVANE_TRACE_DIR", (dir + "/missing").c_str(), 1);
    ParseListRecord();
    struct stat st {};
    EXPECT_NE(::stat((dir + "/missing").c_str(), &st), 0);
    EXPECT_NE(::stat((dir + "/20.r").c_str(), &st), 0);
}

TEST_F(Trace, ASymbolicLinkInPlaceOfTheTraceFileIsNotFollowed) {
    const std::string victim = dir + "/victim";
    std::ofstream(victim) << "keep";
    ASSERT_EQ(::symlink(victim.c_str(), (dir + "/20.r").c_str()), 0);
    ::setenv("QUORVANE_TRACE_DIR", dir.c_str(), 1);
    ParseListRecord();  // and parsing goes on regardless
    EXPECT_EQ(Slurp(victim), "keep");
}

}  // namespace
}  // namespace qv
