#pragma once

#include <string>
#include <string_view>

namespace qv {

// The one place where text crosses between UTF-16 (NTFS names, everything inside the program)
// and UTF-8 (file system paths, the terminal, JSON). Unpaired surrogates and malformed UTF-8
// become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// ToUtf8 onto the end of out, for a caller that reuses one buffer (a line per log entry).
void AppendUtf8(std::string& out, std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// The words for an errno, for a log line or a message: "Permission denied".
std::u16string ErrorText(int error);

}  // namespace qv
