#include <gtest/gtest.h>

#include "platform/Text.h"

namespace qv {
namespace {

TEST(Text, NamesOfEveryPlaneRoundTripAndWhatCannotBeConvertedBecomesReplacementCharacters) {
    for (const std::u16string name : {u"plain.txt", u"Копия (38) Текстовый документ.txt", u"λόγος",
                                      u"文書", u"smile \U0001F600.txt", u""})
        EXPECT_EQ(FromUtf8(ToUtf8(name)), name);
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");

    const std::string fffd = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
    EXPECT_EQ(ToUtf8(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)}),
              "a" + fffd + "b" + fffd);  // unpaired surrogates
    // The bytes (octal escapes: a hex one would take the letter after it) and what they become.
    const std::pair<std::string, std::u16string> malformed[] = {
        {"a\377b", u"a\uFFFDb"},      // 0xFF: never in UTF-8
        {"\xC3", u"\uFFFD"},          // cut short
        {"\xC0\xAF", u"\uFFFD"},      // overlong
        {"\xED\xA0\x80", u"\uFFFD"},  // an encoded surrogate
        {"\342\202A", u"\uFFFDA"},    // continuation missing
    };
    for (const auto& [utf8, text] : malformed)
        EXPECT_EQ(FromUtf8(utf8), text);
}

}  // namespace
}  // namespace qv
