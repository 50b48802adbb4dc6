#include <gtest/gtest.h>

#include "platform/Text.h"

namespace qv {
namespace {

TEST(Text, NamesOfEveryPlaneRoundTrip) {
    for (const std::u16string name : {u"plain.txt", u"Копия (38) Текстовый документ.txt", u"λόγος",
                                      u"文書", u"smile \U0001F600.txt", u""})
        EXPECT_EQ(FromUtf8(ToUtf8(name)), name);
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, WhatCannotBeConvertedBecomesReplacementCharacters) {
    EXPECT_EQ(ToUtf8(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)}),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");  // unpaired surrogates
    const struct {
        std::string utf8;
        std::u16string text;
    } malformed[] = {
        {"a\xFF"
         "b",
         u"a\uFFFDb"},
        {"\xC3", u"\uFFFD"},          // cut short
        {"\xC0\xAF", u"\uFFFD"},      // overlong
        {"\xED\xA0\x80", u"\uFFFD"},  // an encoded surrogate
        {"\xE2\x82"
         "A",
         u"\uFFFDA"},  // continuation missing
    };
    for (const auto& m : malformed)
        EXPECT_EQ(FromUtf8(m.utf8), m.text);
}

}  // namespace
}  // namespace qv
