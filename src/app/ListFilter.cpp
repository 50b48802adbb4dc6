#include "app/ListFilter.h"

#include "app/FileTexts.h"

namespace qv {

namespace {

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return folded;
}

}  // namespace

bool MatchesPattern(std::u16string_view pattern, std::u16string_view text) {
    // Greedy with one backtrack point: linear for the patterns people type.
    size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

void ListFilter::SetSearchText(std::u16string_view text) {
    search_ = Folded(text);
    pattern_ = search_.find_first_of(u"*?") != std::u16string::npos;
}

const std::u16string& ListFilter::FoldedPath(const DeletedFile& file) const {
    const uintptr_t key = reinterpret_cast<uintptr_t>(file.folder.Identity()) * 2 + file.rooted;
    auto [it, made] = paths_.try_emplace(key);
    if (made) it->second = Kept{file.folder, Folded(PathText(file, letter_))};
    return it->second.path;
}

bool ListFilter::SearchMatches(const DeletedFile& file) const {
    const std::u16string name = Folded(file.name);
    const std::u16string& path = FoldedPath(file);
    if (!pattern_)
        return name.find(search_) != std::u16string::npos ||
               path.find(search_) != std::u16string::npos;
    return MatchesPattern(search_, name) || MatchesPattern(search_, path) ||
           MatchesPattern(search_, path + name);
}

bool ListFilter::Matches(const DeletedFile& file) const {
    if (states_ != 0 && (states_ & StateBit(file.state)) == 0) return false;
    if (!types_.empty()) {
        const std::u16string type = Folded(TypeOf(file.name));
        bool any = false;
        for (const std::u16string& t : types_)
            any = any || t == type;
        if (!any) return false;
    }
    return search_.empty() || SearchMatches(file);
}

}  // namespace qv
