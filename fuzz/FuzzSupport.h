#pragma once

// What the harnesses share: volumes in memory (the idea of tests/support/VolumeImage, without
// linking test support), sinks that bound what a hostile size can make a copy write, and a
// check that aborts so that libFuzzer keeps the input.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/BlockDevice.h"
#include "platform/ByteSink.h"
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

// A first sector that passes as an NTFS boot sector: 512-byte sectors, clusterSize / 512 sectors
// per cluster (clusterSize from 512 to 64 KiB), 1024-byte FILE records, the $MFT at cluster 4.
inline std::vector<uint8_t> MakeBootSector(uint32_t clusterSize, uint64_t totalSectors) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
    std::memcpy(s.data() + 3, "NTFS    ", 8);
    s[0x0B] = 0x00, s[0x0C] = 0x02;  // 512 bytes per sector
    s[0x0D] = static_cast<uint8_t>(clusterSize / 512);
    for (int i = 0; i < 8; ++i)
        s[0x28 + i] = static_cast<uint8_t>(totalSectors >> (8 * i));
    s[0x30] = 4;
    s[0x38] = 2;
    s[0x40] = 0xF6;  // 2^10-byte records
    s[0x44] = 1;
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

using MemoryDevice = MemoryBlockDevice;

// A volume of `size` bytes (1 TiB by default) that is a boot sector followed by a pattern
// repeated for ever: every cluster a hostile run names exists and holds fuzzer-chosen bytes.
// Reads deliver at most 64 KiB per call (a short read, as devices may do), so refilling the
// reader's window stays cheap.
class PatternDevice final : public BlockDevice {
public:
    PatternDevice(uint32_t clusterSize, std::vector<uint8_t> pattern, uint64_t size = 1ull << 40)
        : boot_(MakeBootSector(clusterSize, size / 512)), size_(size) {
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
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return 0;
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
        return static_cast<int64_t>(n);
    }
    uint64_t Size() const override { return size_; }

private:
    std::vector<uint8_t> boot_;
    std::vector<uint8_t> pattern_;
    uint64_t size_;
};

inline std::unique_ptr<VolumeReader> OpenReader(std::unique_ptr<BlockDevice> device) {
    auto reader = std::make_unique<VolumeReader>();
    if (reader->Open(std::move(device), u'F') != 0) return nullptr;
    return reader;
}

// Opening a reader allocates its read-ahead window (up to 16 MiB), which costs more than most
// inputs; a harness keeps one reader and changes its device's bytes instead. Then the window
// must go: a read at the device's end fails, and a failed read makes the reader trust none of
// what the window holds.
inline void DropWindow(VolumeReader& reader) {
    uint8_t byte;
    QV_FUZZ_CHECK(reader.ReadAt(static_cast<int64_t>(reader.DeviceSize()), &byte, 1) < 0);
    QV_FUZZ_CHECK(reader.WindowLength() == 0);
}

// Counts and drops what is written, refusing anything past a limit (a hostile data size must
// not make a harness write for ever).
class CountingSink final : public ByteSink {
public:
    explicit CountingSink(uint64_t limit) : limit_(limit) {}
    [[nodiscard]] bool Write(const void* data, size_t size) override {
        if (size > limit_ - written) {
            refused = true;
            return false;
        }
        if (size > 0) {
            // Touch the first and last byte, so that ASan sees a write from a bad buffer.
            const auto* p = static_cast<const volatile uint8_t*>(data);
            last = static_cast<uint8_t>(p[0] ^ p[size - 1]);
        }
        written += size;
        return true;
    }
    uint64_t written = 0;
    uint8_t last = 0;
    bool refused = false;  // a write was turned down (the only way this sink fails)

private:
    uint64_t limit_;
};

}  // namespace qv::fuzz
