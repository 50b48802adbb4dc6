#include "app/FilterValues.h"

#include <cmath>
#include <ctime>

#include "app/Glob.h"
#include "platform/Text.h"

namespace qv {

namespace {

Error BadValue(std::u16string_view text, const char* expected) {
    return Error(kErrBadValue, "\"" + ToUtf8(text) + "\" is not " + expected);
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

// The comma-separated items of text, trimmed; empty items are kept so that they can be refused.
std::vector<std::u16string_view> Items(std::u16string_view text) {
    std::vector<std::u16string_view> items;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(u',', start);
        items.push_back(Trimmed(text.substr(start, comma - start)));
        if (comma == std::u16string_view::npos) return items;
        start = comma + 1;
    }
}

// Reads exactly digits decimal digits at text[at], or -1.
int Digits(std::u16string_view text, size_t at, size_t digits) {
    if (at + digits > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return -1;
        value = value * 10 + (text[i] - u'0');
    }
    return value;
}

}  // namespace

Result<uint64_t> ParseSize(std::u16string_view text) {
    constexpr const char* kExpected = "a size (bytes, or a number with k, M, G or T: 10k, 5M)";
    const std::u16string folded = Folded(Trimmed(text));
    size_t end = 0;
    bool dot = false;
    while (end < folded.size() &&
           ((folded[end] >= u'0' && folded[end] <= u'9') || (folded[end] == u'.' && !dot))) {
        dot = dot || folded[end] == u'.';
        ++end;
    }
    std::u16string_view unit = std::u16string_view(folded).substr(end);
    if (end == 0 || (end == 1 && dot)) return BadValue(text, kExpected);
    int shift = 0;
    if (!unit.empty()) {
        const std::u16string_view units = u"kmgt";
        const size_t at = units.find(unit.front());
        if (at != std::u16string_view::npos) {
            shift = 10 * static_cast<int>(at + 1);
            unit.remove_prefix(1);
            if (unit == u"ib") unit = {};
        }
        if (unit == u"b") unit = {};
        if (!unit.empty()) return BadValue(text, kExpected);
    }
    if (dot && shift == 0) return BadValue(text, kExpected);  // a fraction of a byte
    // Read by hand: the number must not depend on the locale's decimal point.
    long double number = 0, scale = 1;
    bool fraction = false;
    for (size_t i = 0; i < end; ++i) {
        if (folded[i] == u'.') {
            fraction = true;
            continue;
        }
        if (fraction) scale /= 10;
        number = fraction ? number + (folded[i] - u'0') * scale : number * 10 + (folded[i] - u'0');
    }
    const long double bytes = std::floor(std::ldexp(number, shift) + 0.5L);
    if (!(bytes < 18446744073709551616.0L)) return BadValue(text, "a size below 16 EiB");
    return static_cast<uint64_t>(bytes);
}

Result<CTime> ParseDate(std::u16string_view text) {
    constexpr const char* kExpected =
        "a date (YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DDTHH:MM:SS, local time)";
    const std::u16string_view t = Trimmed(text);
    std::tm fields{};
    const int year = Digits(t, 0, 4), month = Digits(t, 5, 2), day = Digits(t, 8, 2);
    if (year < 0 || month < 0 || day < 0 || t[4] != u'-' || t[7] != u'-')
        return BadValue(text, kExpected);
    int hour = 0, minute = 0, second = 0;
    if (t.size() > 10) {
        hour = Digits(t, 11, 2);
        minute = Digits(t, 14, 2);
        if ((t[10] != u' ' && t[10] != u'T') || hour < 0 || minute < 0 || t.size() < 16 ||
            t[13] != u':')
            return BadValue(text, kExpected);
        if (t.size() > 16) {
            second = Digits(t, 17, 2);
            if (t.size() != 19 || t[16] != u':' || second < 0) return BadValue(text, kExpected);
        }
    } else if (t.size() != 10) {
        return BadValue(text, kExpected);
    }
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // the zone's rule for that day
    const std::tm asked = fields;
    const std::time_t seconds = std::mktime(&fields);
    // mktime moves 2024-02-30 to March: a field it had to move was out of range. (The hour may
    // move on its own where a summer-time change skips it.)
    if (seconds == static_cast<std::time_t>(-1)) return BadValue(text, kExpected);
    if (fields.tm_mday != asked.tm_mday || fields.tm_mon != asked.tm_mon || hour > 23 ||
        minute > 59 || second > 59)
        return BadValue(text, "a date that exists");
    return CTime::FromUnix(static_cast<int64_t>(seconds));
}

Result<std::vector<std::u16string>> ParseTypes(std::u16string_view text) {
    std::vector<std::u16string> types;
    for (std::u16string_view item : Items(text)) {
        if (!item.empty() && item.front() == u'.') item.remove_prefix(1);
        if (item.empty() || item.find(u'.') != std::u16string_view::npos)
            return BadValue(text, "a list of extensions (jpg,png,pdf)");
        types.push_back(Folded(item));
    }
    return types;
}

Result<StateSet> ParseStates(std::u16string_view text) {
    StateSet states = 0;
    for (std::u16string_view item : Items(text)) {
        const std::u16string folded = Folded(item);
        bool known = false;
        for (const FileState state :
             {FileState::kResident, FileState::kIntact, FileState::kPartlyOverwritten,
              FileState::kOverwritten, FileState::kUnknown}) {
            const std::string_view name = StateName(state);
            if (folded == std::u16string(name.begin(), name.end()) ||
                (state == FileState::kPartlyOverwritten &&
                 (folded == u"partly-overwritten" || folded == u"partly"))) {
                states |= StateBit(state);
                known = true;
            }
        }
        if (!known)
            return BadValue(item, "a file state (resident, intact, partly, overwritten, unknown)");
    }
    return states;
}

}  // namespace qv
