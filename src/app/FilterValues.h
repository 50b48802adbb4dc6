#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Error.h"
#include "platform/LocalTime.h"
#include "scan/FileState.h"

namespace qv {

// The values a user types into a filter, read from their text. A failure is kErrBadValue with
// a cause that quotes the text and says what was expected.

// "1234" bytes, or a number with k, M, G or T (powers of 1024; an optional "B" or "iB" after,
// any case): "10k", "5M", "1.5G".
Result<uint64_t> ParseSize(std::u16string_view text);
// A local date and time: "2024-03-01" (its start), "2024-03-01 14:30", "2024-03-01T14:30:00".
Result<CTime> ParseDate(std::u16string_view text);
// Extensions, comma-separated, with or without a dot: "jpg,PNG,.pdf"; folded to small letters.
Result<std::vector<std::u16string>> ParseTypes(std::u16string_view text);

// A set of file states, one bit per FileState.
using StateSet = uint32_t;
constexpr StateSet StateBit(FileState state) {
    return StateSet{1} << static_cast<unsigned>(state);
}
// Names as StateName gives them, comma-separated, any case: "intact,partly overwritten";
// "partly-overwritten" and "partly" stand for "partly overwritten" too.
Result<StateSet> ParseStates(std::u16string_view text);

}  // namespace qv
