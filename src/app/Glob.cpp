#include "app/Glob.h"

namespace qv {

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À..Þ, not ×
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: pairs of capital and small, even-odd except in two runs odd-even.
        const bool oddFirst = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (c == 0x178) return 0xFF;  // Ÿ
        return oddFirst ? ((c & 1) ? c + 1 : c) : ((c & 1) ? c : c + 1);
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek Α..Ω
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic А..Я
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Ѐ..Џ
    return c;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

bool Glob::IsPattern(std::u16string_view text) {
    return text.find_first_of(u"*?[") != std::u16string_view::npos;
}

Glob::Glob(std::u16string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        Token token;
        token.kind = Kind::kChar;
        if (c == u'*') {
            if (!tokens_.empty() && tokens_.back().kind == Kind::kStar) continue;
            token.kind = Kind::kStar;
        } else if (c == u'?') {
            token.kind = Kind::kAny;
        } else if (c == u'[') {
            size_t j = i + 1;
            token.negated = j < pattern.size() && (pattern[j] == u'!' || pattern[j] == u'^');
            if (token.negated) ++j;
            const size_t first = j;
            // A "]" right after "[" (or "[!") belongs to the set.
            while (j < pattern.size() && (pattern[j] != u']' || j == first))
                ++j;
            if (j >= pattern.size()) {
                token.c = c;  // unclosed: a plain "["
            } else {
                token.kind = Kind::kSet;
                for (size_t k = first; k < j; ++k) {
                    const char16_t low = FoldCase(pattern[k]);
                    char16_t high = low;
                    if (k + 2 < j && pattern[k + 1] == u'-') {
                        high = FoldCase(pattern[k + 2]);
                        k += 2;
                    }
                    token.set.push_back(low);
                    token.set.push_back(high);
                }
                i = j;
            }
        } else {
            token.c = FoldCase(c);
        }
        tokens_.push_back(std::move(token));
    }
}

bool Glob::TokenMatches(const Token& token, char16_t c) const {
    switch (token.kind) {
        case Kind::kChar: return token.c == c;
        case Kind::kAny: return true;
        case Kind::kStar: return false;
        case Kind::kSet: {
            bool in = false;
            for (size_t k = 0; k + 1 < token.set.size() && !in; k += 2)
                in = token.set[k] <= c && c <= token.set[k + 1];
            return in != token.negated;
        }
    }
    return false;
}

bool Glob::Matches(std::u16string_view text) const {
    return MatchesFolded(Folded(text));
}

bool Glob::MatchesFolded(std::u16string_view text) const {
    // Greedy with one backtrack point: the last "*" seen takes one more character whenever what
    // follows it fails. Linear in practice, never exponential.
    size_t t = 0, p = 0;
    size_t starToken = SIZE_MAX, starText = 0;
    while (t < text.size()) {
        if (p < tokens_.size() && tokens_[p].kind == Kind::kStar) {
            starToken = p++;
            starText = t;
        } else if (p < tokens_.size() && TokenMatches(tokens_[p], text[t])) {
            ++p;
            ++t;
        } else if (starToken != SIZE_MAX) {
            p = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < tokens_.size() && tokens_[p].kind == Kind::kStar)
        ++p;
    return p == tokens_.size();
}

}  // namespace qv
