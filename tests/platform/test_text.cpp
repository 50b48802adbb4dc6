#include <gtest/gtest.h>

#include "platform/Text.h"

namespace qv {
namespace {

TEST(Text, RoundTripsEveryPlane) {
    const std::u16string names[] = {u"plain.txt",
                                    u"Копия (38) Текстовый документ.txt",
                                    u"λόγος",
                                    u"文書",
                                    u"smile \U0001F600.txt",
                                    u""};
    for (const auto& n : names)
        EXPECT_EQ(FromUtf8(ToUtf8(n)), n);
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(ToUtf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD");          // cut short
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD");      // overlong
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
    EXPECT_EQ(FromUtf8("\xE2\x82"
                       "A"),
              u"\uFFFDA");  // continuation missing
}

}  // namespace
}  // namespace qv
