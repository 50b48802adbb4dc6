#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The case folding name matching uses: NTFS names are case-insensitive, so "REPORT.PDF" and
// "report.pdf" are the same name to a user. Folds ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic capitals to small letters; everything else stays as it is.
char16_t FoldCase(char16_t c);
std::u16string Folded(std::u16string_view text);

// A shell pattern over UTF-16 text, case-insensitive: "*" is any run of characters (separators
// included, so "Docs\*" takes every folder below Docs), "?" one character, "[abc]", "[a-z]" and
// "[!a]" (or "[^a]") one of a set. There is no escape character ("\" is a path separator);
// "[*]" matches a "*". An unclosed "[" is a plain character.
class Glob {
public:
    Glob() = default;
    explicit Glob(std::u16string_view pattern);
    // Whether the whole text matches.
    bool Matches(std::u16string_view text) const;
    // The same for a text already folded with Folded (saves folding it again).
    bool MatchesFolded(std::u16string_view folded) const;
    // Whether text holds any of "*", "?", "[": then it is a pattern rather than a plain text.
    static bool IsPattern(std::u16string_view text);

private:
    enum class Kind : uint8_t { kChar, kAny, kStar, kSet };
    struct Token {
        Kind kind = Kind::kChar;
        bool negated = false;
        char16_t c = 0;
        std::u16string set;  // folded pairs: first, last of each range
    };
    bool TokenMatches(const Token& token, char16_t c) const;
    std::vector<Token> tokens_;
};

}  // namespace qv
