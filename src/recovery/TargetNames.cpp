#include "recovery/TargetNames.h"

#include "platform/HomeFolder.h"
#include "platform/Text.h"

namespace qv {

namespace {

constexpr size_t kMaxNameBytes = 255;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Cuts a UTF-16 name until its UTF-8 form fits, keeping a short extension.
std::u16string Shorten(const std::u16string& name) {
    std::u16string stem = name, extension;
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0 && name.size() - dot <= 16) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    while (!stem.empty() && ToUtf8(stem + extension).size() > kMaxNameBytes) {
        stem.pop_back();
        // Never leave half a surrogate pair behind.
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
    }
    return stem + extension;
}

}  // namespace

std::u16string SafeComponent(const std::u16string& name) {
    if (name.empty()) return u"_";
    if (name == u"." || name == u"..") return u"_" + name;
    std::u16string safe = name;
    for (char16_t& c : safe)
        if (c == u'/' || c == 0) c = u'_';
    // A UTF-16 unit is at most three bytes of UTF-8: a short name needs no converting to know.
    if (safe.size() * 3 > kMaxNameBytes && ToUtf8(safe).size() > kMaxNameBytes)
        safe = Shorten(safe);
    return safe;
}

std::u16string LeafName(const DeletedFile& file) {
    if (file.name.empty()) return u"record-" + FromUtf8(std::to_string(file.record));
    return SafeComponent(file.name);
}

std::u16string TidyDestination(const std::u16string& typed) {
    size_t begin = 0, end = typed.size();
    while (begin < end && IsBlank(typed[begin]))
        ++begin;
    while (end > begin && IsBlank(typed[end - 1]))
        --end;
    if (begin == end) return {};
    std::u16string tidy = ExpandHome(typed.substr(begin, end - begin));
    if (tidy.back() != u'/') tidy += u'/';
    return tidy;
}

std::u16string NumberedName(const std::u16string& name, int n) {
    const std::u16string number = u" (" + FromUtf8(std::to_string(n)) + u")";
    const size_t dot = name.rfind(u'.');
    // No extension: no dot, a leading dot (".profile"), or a trailing one ("_..").
    if (dot == std::u16string::npos || dot == 0 || dot + 1 == name.size()) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

}  // namespace qv
