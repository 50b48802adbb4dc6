#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

// How much of a deleted file's content its clusters still hold, judged against the volume's
// allocation bitmap as it is now: clusters that another file has taken since no longer hold it.
enum class FileState : uint8_t {
    kUnknown,            // the runs, the record or the bitmap cannot be read
    kResident,           // the content lives in the record itself
    kIntact,             // none of its clusters is allocated now
    kPartlyOverwritten,  // some are
    kOverwritten,        // all are
};

// The name used in the terminal's table and JSON, in filters and in log lines.
constexpr std::string_view StateName(FileState state) {
    switch (state) {
        case FileState::kResident: return "resident";
        case FileState::kIntact: return "intact";
        case FileState::kPartlyOverwritten: return "partly overwritten";
        case FileState::kOverwritten: return "overwritten";
        case FileState::kUnknown: break;
    }
    return "unknown";
}

}  // namespace qv
