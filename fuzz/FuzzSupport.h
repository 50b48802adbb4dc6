#pragma once

// What the harnesses share beyond the test kit (tests/support): a check that aborts so that
// libFuzzer keeps the input, default flags, a device of endless fuzzer-chosen bytes, and a reader
// kept over inputs whose windows are emptied between them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/BlockDevice.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace qv::fuzz {

// An invariant of the engine did not hold: report and abort (libFuzzer saves the input).
#define QV_FUZZ_CHECK(condition)                                                               \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// libFuzzer's default -timeout is 1200 s; a unit of these harnesses takes milliseconds, so one
// that runs for 10 s hangs: report it then (scripts/test-all gives a harness 60 s in all).
// An explicit -timeout= on the command line wins.
inline void AddDefaultFlags(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-timeout=", 9) == 0) return;
    static std::vector<char*> args;
    static char timeout[] = "-timeout=10";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, timeout);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size() - 1);
    *argv = args.data();
}

inline int NothingToPrepare(int*, char***) {
    return 0;
}

}  // namespace qv::fuzz

// Each harness says QV_FUZZ_DEFAULT_FLAGS once. Besides the timeout, it makes UndefinedBehavior-
// Sanitizer stop at its first report (the fuzz preset builds with recoverable checks, which would
// only print a line and go on), so that libFuzzer keeps the input; UBSAN_OPTIONS still wins.
// A harness that prepares something once (fuzz_volume loads its base images) says
// QV_FUZZ_DEFAULT_FLAGS_THEN(function) instead: function(argc, argv) runs after the flags are set.
#define QV_FUZZ_DEFAULT_FLAGS_THEN(init)                           \
    extern "C" const char* __ubsan_default_options() {             \
        return "halt_on_error=1:print_stacktrace=1";               \
    }                                                              \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { \
        qv::fuzz::AddDefaultFlags(argc, argv);                     \
        return init(argc, argv);                                   \
    }
#define QV_FUZZ_DEFAULT_FLAGS QV_FUZZ_DEFAULT_FLAGS_THEN(qv::fuzz::NothingToPrepare)

namespace qv::fuzz {

// A volume of `size` bytes (1 TiB by default) that is a boot sector (512-byte sectors, 1 KiB
// records, the $MFT at cluster 4) followed by a pattern repeated for ever: every cluster a
// hostile run names exists and holds fuzzer-chosen bytes. Reads deliver at most 64 KiB per call
// (a short read, as devices may do), so refilling the reader's window stays cheap.
class PatternDevice final : public BlockDevice {
public:
    PatternDevice(uint32_t clusterSize, std::vector<uint8_t> pattern, uint64_t size = 1ull << 40)
        : boot_(test::MakeBootSector(512, static_cast<uint8_t>(clusterSize / 512), 4, 0xF6,
                                     size / 512)),
          size_(size) {
        SetPattern(std::move(pattern));
    }
    // Replaces the pattern (see DropWindow).
    void SetPattern(std::vector<uint8_t> pattern) {
        pattern_ = std::move(pattern);
        if (pattern_.empty()) pattern_.assign(1, 0);
        // Whole repeats of a short pattern: the same bytes, copied in fewer pieces.
        while (pattern_.size() < 4096) {
            const size_t n = pattern_.size();
            pattern_.resize(2 * n);
            std::memcpy(pattern_.data() + n, pattern_.data(), n);
        }
    }
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        const size_t n = static_cast<size_t>(std::min<uint64_t>({size, size_ - offset, 65536}));
        auto* out = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < n) {
            const uint64_t at = offset + done;
            size_t piece;
            if (at < boot_.size()) {
                piece = std::min<size_t>(n - done, boot_.size() - at);
                std::memcpy(out + done, boot_.data() + at, piece);
            } else {
                const size_t from = static_cast<size_t>((at - boot_.size()) % pattern_.size());
                piece = std::min(n - done, pattern_.size() - from);
                std::memcpy(out + done, pattern_.data() + from, piece);
            }
            done += piece;
        }
        return n;
    }
    uint64_t Size() const override { return size_; }

private:
    std::vector<uint8_t> boot_;
    std::vector<uint8_t> pattern_;
    uint64_t size_;
};

// A reader over a device, or null when the device does not open as a volume.
inline std::unique_ptr<VolumeReader> OpenReader(std::unique_ptr<BlockDevice> device) {
    auto reader = std::make_unique<VolumeReader>();
    if (!reader->Open(std::move(device))) return nullptr;
    return reader;
}

// Opening a reader allocates its read-ahead windows (up to 16 MiB), which costs more than most
// inputs; a harness keeps one reader and changes its device's bytes instead. Then the windows
// must go: a read at the device's end fails, and a failed read makes a window trust none of
// what it holds.
inline void DropWindow(VolumeReader& reader) {
    uint8_t byte;
    const auto end = static_cast<int64_t>(reader.DeviceSize());
    QV_FUZZ_CHECK(!reader.ReadAt(end, &byte, 1, VolumeReader::Stream::kData));
    QV_FUZZ_CHECK(!reader.ReadAt(end, &byte, 1, VolumeReader::Stream::kRecords));
    QV_FUZZ_CHECK(reader.WindowLength() == 0);
}

}  // namespace qv::fuzz
