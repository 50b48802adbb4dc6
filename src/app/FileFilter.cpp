#include "app/FileFilter.h"

#include <algorithm>

#include "app/FileTexts.h"

namespace qv {

namespace {

std::u16string WithBackslashes(std::u16string_view pattern) {
    std::u16string text(pattern);
    std::replace(text.begin(), text.end(), u'/', u'\\');
    // A path pattern names folders; separators around it are not part of the names.
    while (!text.empty() && text.back() == u'\\')
        text.pop_back();
    while (!text.empty() && text.front() == u'\\')
        text.erase(0, 1);
    return text;
}

}  // namespace

void FileFilter::SetLetter(char16_t letter) {
    letter_ = letter;
    folders_.clear();
}

void FileFilter::SetNames(const std::vector<std::u16string>& patterns) {
    names_.clear();
    for (const std::u16string& pattern : patterns)
        names_.emplace_back(pattern);
}

void FileFilter::SetPaths(const std::vector<std::u16string>& patterns) {
    paths_.clear();
    for (const std::u16string& pattern : patterns)
        paths_.emplace_back(WithBackslashes(pattern));
    folders_.clear();
}

void FileFilter::SetTypes(std::vector<std::u16string> types) {
    types_ = std::move(types);
}

void FileFilter::SetSearchText(std::u16string_view text) {
    search_ = Folded(text);
    searchGlob_.reset();
    std::replace(search_.begin(), search_.end(), u'/', u'\\');
    searchWithPath_ = search_.find(u'\\') != std::u16string::npos;
    if (Glob::IsPattern(search_)) searchGlob_.emplace(search_);
    folders_.clear();
}

bool FileFilter::Empty() const {
    return names_.empty() && paths_.empty() && types_.empty() && !minSize_ && !maxSize_ &&
           !deletedAfter_ && !deletedBefore_ && states_ == 0 && search_.empty();
}

const FileFilter::FolderTexts& FileFilter::TextsOf(const DeletedFile& file) const {
    const uintptr_t key = reinterpret_cast<uintptr_t>(file.folder.Identity()) * 2 + file.rooted;
    auto [it, made] = folders_.try_emplace(key);
    FolderTexts& texts = it->second;
    if (!made) return texts;
    texts.keep = file.folder;
    texts.shown = Folded(PathText(file, letter_));
    if (!search_.empty())
        texts.searchMatches = searchGlob_ ? searchGlob_->MatchesFolded(texts.shown)
                                          : texts.shown.find(search_) != std::u16string::npos;
    if (!paths_.empty()) {
        std::u16string bare;  // "documents\reports"
        for (const std::u16string& name : file.folder.Names())
            bare += (bare.empty() ? u"" : u"\\") + Folded(name);
        const std::u16string lettered =
            std::u16string(1, FoldCase(letter_)) + u":" + (bare.empty() ? u"" : u"\\") + bare;
        texts.pathMatches = std::any_of(paths_.begin(), paths_.end(), [&](const Glob& glob) {
            return glob.MatchesFolded(bare) || (file.rooted && glob.MatchesFolded(lettered));
        });
    }
    return texts;
}

bool FileFilter::SearchMatches(const DeletedFile& file, std::u16string_view name) const {
    const FolderTexts& texts = TextsOf(file);
    if (!searchGlob_) return texts.searchMatches || name.find(search_) != std::u16string::npos;
    if (!searchWithPath_) return texts.searchMatches || searchGlob_->MatchesFolded(name);
    std::u16string whole = texts.shown;
    whole += name;
    return searchGlob_->MatchesFolded(whole);
}

bool FileFilter::Matches(const DeletedFile& file) const {
    // The cheap conditions first: most filters are decided before any text is made.
    if (minSize_ && file.size < *minSize_) return false;
    if (maxSize_ && file.size > *maxSize_) return false;
    if (states_ != 0 && !(states_ & StateBit(file.state))) return false;
    if (deletedAfter_ &&
        (!file.deleted.IsSet() || file.deleted.Seconds() < deletedAfter_->Seconds()))
        return false;
    if (deletedBefore_ &&
        (!file.deleted.IsSet() || file.deleted.Seconds() >= deletedBefore_->Seconds()))
        return false;
    if (!paths_.empty() && !TextsOf(file).pathMatches) return false;
    if (names_.empty() && types_.empty() && search_.empty()) return true;
    name_.assign(file.name);
    for (char16_t& c : name_)
        c = FoldCase(c);
    const std::u16string_view name = name_;
    if (!types_.empty()) {
        // The type is what follows the last dot, when that dot is not the first character.
        const size_t dot = name.rfind(u'.');
        const std::u16string_view type = dot == std::u16string_view::npos || dot == 0
                                             ? std::u16string_view()
                                             : name.substr(dot + 1);
        if (std::find(types_.begin(), types_.end(), type) == types_.end()) return false;
    }
    if (!names_.empty() && std::none_of(names_.begin(), names_.end(),
                                        [&](const Glob& glob) { return glob.MatchesFolded(name); }))
        return false;
    return search_.empty() || SearchMatches(file, name);
}

}  // namespace qv
