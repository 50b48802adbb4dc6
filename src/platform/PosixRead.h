#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

struct ReadResult {
    size_t count = 0;  // bytes read
    int error = 0;     // errno of the read that failed, 0 when none did
};

// Reads until size bytes have arrived, the end of the file, or a failure; interrupted reads are
// retried. offset < 0 reads from the descriptor's position, else at offset (pread).
ReadResult ReadFully(int fd, void* buffer, size_t size, int64_t offset);

}  // namespace qv
