#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

// printf-style formatting of the program's messages, type-safe: %s takes a UTF-16 string, %c a
// UTF-16 character, %d %u %x (with any l/ll/z length letters) integers, %% a percent sign.
// A conversion without an argument prints nothing.
class FormatArg {
public:
    FormatArg(std::u16string_view s) : kind_(kText), text_(s) {}
    FormatArg(const std::u16string& s) : kind_(kText), text_(s) {}
    FormatArg(const char16_t* s) : kind_(kText), text_(s ? s : u"") {}
    FormatArg(char16_t c) : kind_(kChar), integer_(c) {}
    template <typename T,
              typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, char16_t>>>
    FormatArg(T v)
        : kind_(kInteger),
          integer_(static_cast<uint64_t>(v)),
          negative_(std::is_signed_v<T> && v < 0) {}

    enum Kind { kText, kChar, kInteger };
    Kind kind() const { return kind_; }
    std::u16string_view text() const { return text_; }
    uint64_t integer() const { return integer_; }
    bool negative() const { return negative_; }

private:
    Kind kind_;
    std::u16string_view text_;
    uint64_t integer_ = 0;
    bool negative_ = false;
};

// The arguments are a list on the stack, not a vector: every log line is formatted, and a
// recovery says two lines per file.
std::u16string FormatMessage(std::u16string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view format, const Args&... args) {
    return FormatMessage(format, {FormatArg(args)...});
}

}  // namespace qv
