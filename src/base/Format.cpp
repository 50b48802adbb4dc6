#include "base/Format.h"

namespace qv {

namespace {

void AppendNumber(std::u16string& out, uint64_t v, unsigned base) {
    char16_t digits[24];
    int n = 0;
    do {
        const unsigned d = static_cast<unsigned>(v % base);
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + d - 10);
        v /= base;
    } while (v != 0);
    while (n > 0)
        out.push_back(digits[--n]);
}

}  // namespace

std::u16string FormatMessage(std::u16string_view format, std::initializer_list<FormatArg> list) {
    const FormatArg* const args = list.begin();
    // Made once at its final size (numbers aside), not regrown as it fills.
    size_t size = format.size();
    for (const FormatArg& a : list)
        size += a.text().size();
    std::u16string out;
    out.reserve(size);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out.push_back(c);
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && (format[j] == u'l' || format[j] == u'z' || format[j] == u'h'))
            ++j;
        if (j == format.size()) break;
        const char16_t conversion = format[j];
        i = j;
        if (conversion == u'%') {
            out.push_back(u'%');
            continue;
        }
        if (next >= list.size()) continue;
        const FormatArg& a = args[next++];
        switch (conversion) {
            case u's':
                if (a.kind() == FormatArg::kText) out.append(a.text());
                break;
            case u'c': out.push_back(static_cast<char16_t>(a.integer())); break;
            case u'd':
            case u'i':
                if (a.negative()) {
                    out.push_back(u'-');
                    AppendNumber(out, ~a.integer() + 1, 10);
                } else {
                    AppendNumber(out, a.integer(), 10);
                }
                break;
            case u'u': AppendNumber(out, a.integer(), 10); break;
            case u'x': AppendNumber(out, a.integer(), 16); break;
            default: break;
        }
    }
    return out;
}

}  // namespace qv
