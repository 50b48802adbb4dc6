// The whole path on a small NTFS volume: ScanSession::Open in the normal and in the advanced mode,
// FindDeletedFiles (the listed files' names, sizes and folder paths), LoadFile, and the copy of
// every listed file's content and named streams into bounded sinks, on a fixture image changed
// by a list of edits.
//
// Input: a byte choosing the base image, a byte choosing the window, then edits until the input
// ends.
//   image byte:  modulo the number of images loaded (the default set, in name order: 0 attrlist,
//                1 c512, 2 c64k, 3 rich-4k, 4 s4096).
//   window byte: which kWindowFiles deleted files of the image stay deleted (group `window`
//                modulo the number of groups, the files taken in record order). The records of
//                every other deleted file, base and extensions, get the in-use flag, so that the
//                scan lists at most kWindowFiles files: the fixtures hold up to 600 deleted files,
//                and scanning and copying them all would take seconds per input.
//   edit:        kind (1 byte), index (4 bytes, little-endian), offset (2), length (2), payload.
//     kind bits 0-1, the unit the edit changes:
//       0  the boot sector (the first 512 bytes; index unused)
//       1  an $MFT record, through the $MFT's runs, so a record split over two extents is
//          changed in both: record `index` (modulo the record count), or with kind bit 3 the
//          record `index` places after the window's first file
//       2  page `index` of the $LogFile (4096-byte pages, modulo the page count), the same way
//       3  cluster `index` of the volume (modulo the cluster count)
//     kind bit 2: fill, the payload is one byte written `length` times; otherwise the payload is
//     the `length` bytes themselves (fewer when the input ends first).
//     The offset is taken modulo the unit's size, and an edit stops at the unit's end. Edits
//     apply in order, after the window's flags, a later one winning where they overlap; at most
//     kMaxEdits are taken.
//
// The base images are the fixtures, unpacked with zlib once at start-up from
// tests/fixtures/images/*.img.gz, or the *.img / *.img.gz files of the folder named by
// QUORVANE_FUZZ_IMAGES. Where each image's $MFT records and $LogFile pages lie is found once, by
// parsing the boot sector, record 0 (with its attribute list) and record 2 with the engine's own
// classes. Each run reads the base image through a copy-on-write device that lays the edits over
// it: no image is copied per run.
//
// Environment: QUORVANE_FUZZ_VERBOSE=1 prints what each run found; QUORVANE_FUZZ_TEMP_LIMIT=abort
// makes a scan that fills a temporary file (the kept records, the log's records) up to the
// harness's file size limit a finding.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Error.h"
#include "base/Progress.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/Text.h"
#include "scan/DeletedFile.h"
#include "scan/ScanSession.h"
#include "support/Bytes.h"
#include "volume/VolumeReader.h"

#ifndef QV_FUZZ_FIXTURE_IMAGES
#error "QV_FUZZ_FIXTURE_IMAGES (the folder of the gzipped fixture images) must be defined"
#endif

namespace {

using namespace qv;
using qv::test::DiscardSink;

constexpr size_t kChunk = 64u << 10;         // the base images are kept in chunks of this size
constexpr uint32_t kZeroChunk = UINT32_MAX;  // a chunk of zeros, not stored
constexpr uint64_t kMaxImageBytes = 256u << 20;
constexpr uint32_t kBootBytes = 512;
constexpr uint32_t kLogPage = 4096;
constexpr size_t kEditHead = 9;
constexpr size_t kWindowFiles = 4;
constexpr size_t kMaxEdits = 128;
// Reads deliver at most this much per call (a short read, as devices may do): refilling the
// reader's window, which may be 16 MiB, costs one such copy.
constexpr size_t kMaxRead = 64u << 10;
// What one copied stream may write; a hostile size makes the copy stop with kErrWrite there.
constexpr uint64_t kCopyLimit = 1u << 20;
// The session's temporary files (the kept records "NRM", the log's records "NRG") cannot grow
// past this. A write past it fails (EFBIG).
constexpr uint64_t kTempFileLimit = 64u << 20;
// From FolderOf: the climb stops after this many folders.
constexpr size_t kMaxDepth = 1024;
constexpr uint64_t kRootFolder = 5;
constexpr uint64_t kFirstUserRecord = 24;

// A stream's bytes on the device: [logical, logical + length) of the stream lies at device.
struct Extent {
    uint64_t logical;
    uint64_t device;
    uint64_t length;
};

// Calls f(deviceOffset, offsetInRange, length) for the pieces of [start, start + length) of a
// stream that lie on the device (sparse or unmapped pieces are skipped).
template <typename F>
void ForEachPiece(const std::vector<Extent>& map, uint64_t start, uint64_t length, F f) {
    for (const Extent& e : map) {
        const uint64_t lo = std::max(start, e.logical);
        const uint64_t hi = std::min(start + length, e.logical + e.length);
        if (lo < hi) f(e.device + (lo - e.logical), lo - start, hi - lo);
    }
}

struct BaseImage {
    std::string name;
    uint64_t size = 0;
    std::vector<uint32_t> chunks;  // per chunk: its index in store, or kZeroChunk
    std::vector<uint8_t> store;
    uint32_t clusterSize = 0;
    uint32_t recordSize = 0;
    uint64_t clusterCount = 0;
    std::vector<Extent> mft;
    uint64_t mftRecords = 0;
    std::vector<Extent> log;
    uint64_t logPages = 0;
    // The deleted files: their base record numbers in ascending order, and every record that
    // belongs to one of them (its own number, and the index of its file in files).
    std::vector<uint64_t> files;
    struct Deleted {
        uint64_t record;
        size_t file;
        uint16_t flags;
    };
    std::vector<Deleted> deleted;

    void Read(uint64_t offset, uint8_t* out, size_t n) const {
        while (n > 0) {
            const uint64_t c = offset / kChunk;
            const size_t within = static_cast<size_t>(offset % kChunk);
            const size_t piece = std::min(n, kChunk - within);
            if (chunks[c] == kZeroChunk)
                std::memset(out, 0, piece);
            else
                std::memcpy(out, store.data() + size_t{chunks[c]} * kChunk + within, piece);
            out += piece, offset += piece, n -= piece;
        }
    }
};

struct Edit {
    uint64_t at;
    std::vector<uint8_t> bytes;
};

// The base image with the edits laid over it. It has no write operation, like every device.
class OverlayDevice final : public BlockDevice {
public:
    OverlayDevice(const BaseImage& base, const std::vector<Edit>& edits)
        : base_(base), edits_(edits) {}
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= base_.size) return size_t{0};
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>({size, base_.size - offset, kMaxRead}));
        auto* out = static_cast<uint8_t*>(buffer);
        base_.Read(offset, out, n);
        for (const Edit& e : edits_) {
            const uint64_t lo = std::max(offset, e.at);
            const uint64_t hi = std::min(offset + n, e.at + e.bytes.size());
            if (lo < hi) std::memcpy(out + (lo - offset), e.bytes.data() + (lo - e.at), hi - lo);
        }
        return n;
    }
    uint64_t Size() const override { return base_.size; }

private:
    const BaseImage& base_;
    const std::vector<Edit>& edits_;
};

std::vector<BaseImage> gImages;
std::string gTempDir;
bool gVerbose = false;
bool gTempLimitAborts = false;
uint64_t gTempLimitHits = 0;

// ---- Start-up: the base images and where their records and pages lie.

bool LoadImage(const std::string& path, BaseImage& image) {
    gzFile in = gzopen(path.c_str(), "rb");  // reads a file that is not gzipped as it is
    if (in == nullptr) return false;
    std::vector<uint8_t> chunk(kChunk);
    bool ok = true;
    while (true) {
        const int n = gzread(in, chunk.data(), static_cast<unsigned>(kChunk));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        std::fill(chunk.begin() + n, chunk.end(), 0);
        image.size += static_cast<uint64_t>(n);
        if (image.size > kMaxImageBytes) {
            ok = false;
            break;
        }
        if (std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0; })) {
            image.chunks.push_back(kZeroChunk);
        } else {
            image.chunks.push_back(static_cast<uint32_t>(image.store.size() / kChunk));
            image.store.insert(image.store.end(), chunk.begin(), chunk.end());
        }
        if (static_cast<size_t>(n) < kChunk) break;
    }
    gzclose(in);
    return ok && image.size >= kBootBytes;
}

// The device extents of a stream, cut to the image.
std::vector<Extent> MapStream(const RunList& stream, uint64_t clusterSize, uint64_t imageSize) {
    std::vector<Extent> map;
    const uint64_t clusters = imageSize / clusterSize;
    for (const DataRun& run : stream.Runs()) {
        if (run.resident || run.IsSparse() || run.firstCluster >= clusters) continue;
        if (run.vcn > UINT64_MAX / clusterSize / 2) continue;
        const uint64_t count = std::min(run.clusterCount, clusters - run.firstCluster);
        map.push_back({run.vcn * clusterSize, run.firstCluster * clusterSize, count * clusterSize});
    }
    return map;
}

// Reads [start, start + length) of a mapped stream; false when part of it is not mapped.
bool ReadMapped(const BaseImage& image, const std::vector<Extent>& map, uint64_t start,
                std::vector<uint8_t>& out) {
    uint64_t covered = 0;
    std::fill(out.begin(), out.end(), 0);
    ForEachPiece(map, start, out.size(), [&](uint64_t device, uint64_t at, uint64_t n) {
        image.Read(device, out.data() + at, static_cast<size_t>(n));
        covered += n;
    });
    return covered == out.size();
}

// The records the scan takes for deleted files: "FILE" records neither in use nor folders, with
// a base reference (extension records) or with a first attribute (base records). Only the first
// 48 bytes are looked at, which no update sequence word covers.
void FindDeletedRecords(BaseImage& image) {
    std::vector<uint8_t> head(record::kHeaderSize);
    std::vector<BaseImage::Deleted> owned;  // with the base record number in place of file
    for (uint64_t n = kFirstUserRecord; n < image.mftRecords; ++n) {
        if (!ReadMapped(image, image.mft, n * image.recordSize, head)) continue;
        if (!HasFileSignature(head.data(), head.size())) continue;
        const uint16_t flags = Load16(head.data() + record::kFlags);
        if (flags & (record::kFlagInUse | record::kFlagDirectory)) continue;
        const uint64_t base = RecordNumberOf(Load64(head.data() + record::kBaseReference));
        if (base != 0) {
            owned.push_back({n, base, flags});
            continue;
        }
        std::vector<uint8_t> first(8);
        const uint16_t at = Load16(head.data() + record::kFirstAttribute);
        if (at == 0 || at + 4u > image.recordSize ||
            !ReadMapped(image, image.mft, n * image.recordSize + at, first))
            continue;
        const uint32_t type = Load32(first.data() + attribute::kType);
        if (type == 0 || type == kAttrEnd) continue;
        image.files.push_back(n);
        owned.push_back({n, n, flags});
    }
    for (BaseImage::Deleted d : owned) {
        const auto it = std::lower_bound(image.files.begin(), image.files.end(), d.file);
        if (it == image.files.end() || *it != d.file) continue;  // no base: never listed anyway
        d.file = static_cast<size_t>(it - image.files.begin());
        image.deleted.push_back(d);
    }
}

// Finds the $MFT's and the $LogFile's extents with the engine's parser, as a scan would: record 0
// at the boot sector's $MFT cluster, the extension records its attribute list names for the rest
// of its $DATA, then record 2.
void Locate(BaseImage& image) {
    static const std::vector<Edit> kNoEdits;
    VolumeReader reader;
    if (!reader.Open(std::make_unique<OverlayDevice>(image, kNoEdits))) return;
    const uint32_t cs = reader.ClusterSize();
    const uint32_t rs = reader.RecordSize();
    image.clusterSize = cs;
    image.recordSize = rs;
    image.clusterCount = image.size / cs;

    std::vector<uint8_t> record(rs);
    if (!reader.ReadMftStart(record.data(), rs)) return;
    FileRecord mft;
    mft.SetHeader(record);
    if (mft.Parse(record, cs, &reader) == Parsed::kUnreadable || mft.UnnamedStream() == nullptr ||
        mft.UnnamedStream()->IsResident())
        return;
    std::set<size_t> taken;
    for (bool found = true; found;) {
        found = false;
        const std::vector<Extent> known = MapStream(*mft.UnnamedStream(), cs, image.size);
        for (size_t i = 0; i < mft.AttributeListCount(); ++i) {
            const AttributeListEntry entry = *mft.GetAttributeListEntry(i);
            if (taken.count(i) || entry.type != kAttrData || !entry.name.empty() ||
                entry.SegmentRecordNumber() == 0)
                continue;
            if (!ReadMapped(image, known, entry.SegmentRecordNumber() * rs, record)) continue;
            mft.ParseListedAttribute(record, entry, cs, &reader);
            taken.insert(i);
            found = true;
        }
    }
    image.mft = MapStream(*mft.UnnamedStream(), cs, image.size);
    image.mftRecords = mft.UnnamedStream()->TotalSize(cs) / rs;
    FindDeletedRecords(image);

    if (!ReadMapped(image, image.mft, 2 * uint64_t{rs}, record)) return;
    FileRecord log;
    log.SetHeader(record);
    if (log.Parse(record, cs, &reader) == Parsed::kUnreadable || log.UnnamedStream() == nullptr ||
        log.UnnamedStream()->IsResident())
        return;
    image.log = MapStream(*log.UnnamedStream(), cs, image.size);
    image.logPages = log.UnnamedStream()->TotalSize(cs) / kLogPage;
}

// A private folder for the session's temporary files, so that what is left in it after a session
// can be counted: under $TMPDIR (or /tmp), which then points at it. A process that dies inside a
// session leaves its folder behind, with what the session had written.
void MakeTempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    const char* parent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string pattern = std::string(parent) + "/qv-fuzz-volume-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        std::perror("fuzz_volume: mkdtemp");
        std::abort();
    }
    gTempDir = buffer.data();
    setenv("TMPDIR", gTempDir.c_str(), 1);
    std::atexit([] { rmdir(gTempDir.c_str()); });
}

// libFuzzer would treat SIGXFSZ as a crash (-handle_xfsz=1 by default): the harness ignores the
// signal instead, so a write past the limit fails with EFBIG and the scan reports it.
void LimitFileSize(int* argc, char*** argv) {
    static std::vector<char*> args;
    static char noHandler[] = "-handle_xfsz=0";
    bool given = false;
    for (int i = 1; i < *argc; ++i)
        given = given || std::strncmp((*argv)[i], "-handle_xfsz=", 13) == 0;
    if (!given) {
        args.assign(*argv, *argv + *argc);
        args.insert(args.begin() + 1, noHandler);
        args.push_back(nullptr);
        *argc = static_cast<int>(args.size() - 1);
        *argv = args.data();
    }
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, kTempFileLimit);
    setrlimit(RLIMIT_FSIZE, &limit);
}

int Prepare(int* argc, char*** argv) {
    const char* verbose = std::getenv("QUORVANE_FUZZ_VERBOSE");
    gVerbose = verbose != nullptr && *verbose != '\0' && *verbose != '0';
    const char* limit = std::getenv("QUORVANE_FUZZ_TEMP_LIMIT");
    gTempLimitAborts = limit != nullptr && std::strcmp(limit, "abort") == 0;
    MakeTempFolder();
    LimitFileSize(argc, argv);

    const char* folder = std::getenv("QUORVANE_FUZZ_IMAGES");
    const std::string dir = folder != nullptr && *folder != '\0' ? folder : QV_FUZZ_FIXTURE_IMAGES;
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            auto endsWith = [&](const char* s) {
                const size_t k = std::strlen(s);
                return n.size() > k && n.compare(n.size() - k, k, s) == 0;
            };
            if (endsWith(".img") || endsWith(".img.gz")) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        BaseImage image;
        image.name = n;
        if (!LoadImage(dir + "/" + n, image)) {
            std::fprintf(stderr, "fuzz_volume: skipping %s (unreadable, or above %llu MiB)\n",
                         n.c_str(), static_cast<unsigned long long>(kMaxImageBytes >> 20));
            continue;
        }
        Locate(image);
        std::fprintf(stderr,
                     "fuzz_volume: image %zu %s: %llu bytes (%zu KiB kept), cluster %u, record %u, "
                     "%llu $MFT records, %llu $LogFile pages, %zu deleted files\n",
                     gImages.size(), n.c_str(), static_cast<unsigned long long>(image.size),
                     image.store.size() >> 10, image.clusterSize, image.recordSize,
                     static_cast<unsigned long long>(image.mftRecords),
                     static_cast<unsigned long long>(image.logPages), image.files.size());
        gImages.push_back(std::move(image));
    }
    if (gImages.empty()) {
        std::fprintf(stderr, "fuzz_volume: no image in %s (set QUORVANE_FUZZ_IMAGES)\n",
                     dir.c_str());
        std::abort();
    }
    return 0;
}

// ---- The edits.

uint32_t LoadLe(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Marks every deleted file outside the window in use (its flags field, in each record it has).
void MaskOutsideWindow(const BaseImage& image, size_t group, std::vector<Edit>& edits) {
    const size_t first = group * kWindowFiles;
    for (const BaseImage::Deleted& d : image.deleted) {
        if (d.file >= first && d.file < first + kWindowFiles) continue;
        const uint16_t flags = d.flags | record::kFlagInUse;
        const uint8_t bytes[2] = {static_cast<uint8_t>(flags), static_cast<uint8_t>(flags >> 8)};
        ForEachPiece(
            image.mft, d.record * image.recordSize + record::kFlags, 2,
            [&](uint64_t device, uint64_t from, uint64_t len) {
                edits.push_back({device, std::vector<uint8_t>(bytes + from, bytes + from + len)});
            });
    }
}

std::vector<Edit> ParseEdits(const BaseImage& image, uint8_t window, const uint8_t* p,
                             size_t size) {
    std::vector<Edit> edits;
    const size_t groups = (image.files.size() + kWindowFiles - 1) / kWindowFiles;
    const size_t group = groups == 0 ? 0 : window % groups;
    MaskOutsideWindow(image, group, edits);
    const uint64_t windowStart = groups == 0 ? 0 : image.files[group * kWindowFiles];
    size_t at = 0;
    for (size_t taken = 0; at + kEditHead <= size && taken < kMaxEdits; ++taken) {
        const uint8_t kind = p[at];
        const uint32_t index = LoadLe(p + at + 1, 4);
        const uint32_t offset = LoadLe(p + at + 5, 2);
        const uint32_t length = LoadLe(p + at + 7, 2);
        at += kEditHead;
        const bool fill = (kind & 4) != 0;
        std::vector<uint8_t> bytes;
        if (fill) {
            if (at >= size) break;
            bytes.assign(length, p[at]);
            at += 1;
        } else {
            const size_t n = std::min<size_t>(length, size - at);
            bytes.assign(p + at, p + at + n);
            at += n;
        }
        // The unit: a stream range (through extents) or a range of the device.
        std::vector<Extent> direct;
        const std::vector<Extent>* map = &direct;
        uint64_t start = 0;
        uint64_t unit = 0;
        switch (kind & 3) {
            case 0:
                unit = kBootBytes;
                direct.push_back({0, 0, kBootBytes});
                break;
            case 1:
                if (image.mftRecords == 0) continue;
                unit = image.recordSize;
                start = ((kind & 8) ? (windowStart + index) % image.mftRecords
                                    : index % image.mftRecords) *
                        unit;
                map = &image.mft;
                break;
            case 2:
                if (image.logPages == 0) continue;
                unit = kLogPage;
                start = index % image.logPages * unit;
                map = &image.log;
                break;
            case 3:
                if (image.clusterCount == 0) continue;
                unit = image.clusterSize;
                start = index % image.clusterCount * unit;
                direct.push_back({start, start, unit});
                break;
        }
        const uint64_t within = offset % unit;
        const uint64_t n = std::min<uint64_t>(bytes.size(), unit - within);
        ForEachPiece(*map, start + within, n, [&](uint64_t device, uint64_t from, uint64_t len) {
            if (device >= image.size) return;
            len = std::min(len, image.size - device);
            edits.push_back(
                {device, std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + len)});
        });
    }
    return edits;
}

// ---- One scan.

std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    DIR* d = opendir(gTempDir.c_str());
    QV_FUZZ_CHECK(d != nullptr);
    while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool HasPrefix(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The temporary files of an open session: the kept records ("NRM") and, for the advanced scan
// while the log's records are held, their store ("NRG"). Returns the name of the "NRM" file.
std::string CheckTempFiles(bool advanced, bool logMayBeHeld) {
    const std::vector<std::string> temp = TempFiles();
    std::string kept;
    size_t store = 0;
    for (const std::string& n : temp) {
        if (HasPrefix(n, "NRM")) {
            QV_FUZZ_CHECK(kept.empty());
            kept = n;
        } else {
            QV_FUZZ_CHECK(advanced && logMayBeHeld && HasPrefix(n, "NRG"));
            ++store;
        }
    }
    QV_FUZZ_CHECK(!kept.empty() && store <= 1);
    return kept;
}

struct Stream {
    std::u16string name;
    uint64_t size;
    size_t runs;
    bool damaged;
};

struct Listed {
    uint64_t number;
    bool damaged;
    std::vector<Stream> streams;
    std::u16string name;  // for QUORVANE_FUZZ_VERBOSE
    FolderPath folder;
    bool rooted;
};

struct Outcome {
    int32_t refused = 0;   // VolumeReader::Open's code
    int32_t failed = 0;    // ScanSession::Open's code
    int32_t notFound = 0;  // FindDeletedFiles's code
    std::vector<Listed> files;
    int copies[4] = {};  // whole, incomplete, stopped at the sink's limit, failed otherwise
};

// A temporary file reached kTempFileLimit: only the session's own files are written, in a folder
// of our own.
void NoteTempLimit(const Error& error) {
    if (error.code != kErrWrite) return;
    if (gTempLimitAborts) {
        std::fprintf(stderr, "fuzz_volume: a temporary file reached %llu MiB: %s\n",
                     static_cast<unsigned long long>(kTempFileLimit >> 20), error.Text().c_str());
        std::abort();
    }
    if (gTempLimitHits++ == 0)
        std::fprintf(stderr,
                     "fuzz_volume: note: a temporary file reached the %llu MiB limit (%s); "
                     "QUORVANE_FUZZ_TEMP_LIMIT=abort keeps such inputs\n",
                     static_cast<unsigned long long>(kTempFileLimit >> 20), error.Text().c_str());
}

void CheckCopy(const Result<Copied>& result, const DiscardSink& out, uint64_t expected,
               Outcome& outcome) {
    int kind;
    if (result) {
        // Whole or incomplete; stopped only when Stop was pressed, and nobody pressed it.
        QV_FUZZ_CHECK(*result == Copied::kWhole || *result == Copied::kIncomplete);
        QV_FUZZ_CHECK(!out.refused);
        if (*result == Copied::kWhole) QV_FUZZ_CHECK(out.written == expected);
        kind = *result == Copied::kWhole ? 0 : 1;
    } else {
        // The failures DataCopy.h lists; a write fails only when the sink turns it down.
        const int32_t code = result.error().code;
        QV_FUZZ_CHECK(code == kErrRead || code == kErrSeek || code == kErrDecompress ||
                      code == kErrWrite || code == kErrNoMemory);
        QV_FUZZ_CHECK((code == kErrWrite) == out.refused);
        kind = code == kErrWrite ? 2 : 3;
    }
    // The stream is cut at its size; the sink refuses nothing a stream of its size writes.
    QV_FUZZ_CHECK(out.written <= expected);
    if (expected <= kCopyLimit) QV_FUZZ_CHECK(!out.refused);
    outcome.copies[kind]++;
}

// Copies the file's content and each named stream, as the recovery does, into bounded sinks.
void Copy(const FileRecord& record, ScanSession& session, Outcome& outcome) {
    VolumeReader& reader = session.Reader();
    const uint32_t cs = reader.ClusterSize();
    {
        DiscardSink out(kCopyLimit);
        QuietProgress progress;
        CheckCopy(CopyRecordData(out, record, reader, progress), out, record.TotalDataSize(cs),
                  outcome);
    }
    for (size_t i = 0; const RunList* stream = record.GetDataStream(i); ++i) {
        if (stream->Name().empty()) continue;
        DiscardSink out(kCopyLimit);
        QuietProgress progress;
        const uint64_t expected = stream->TotalSize(cs);
        progress.SetSteps(static_cast<int64_t>(expected));
        CheckCopy(CopyTo(*stream, reader, out, progress), out, expected, outcome);
    }
}

// What the scan listed is what the file's record says, and the folder path is the one a climb
// through its parents finds.
void CheckListed(const DeletedFile& file, const FileRecord& record, ScanSession& session) {
    QV_FUZZ_CHECK(record.RecordNumber() == file.record);
    QV_FUZZ_CHECK(file.name == record.GetName());
    QV_FUZZ_CHECK(file.size == record.TotalDataSize(session.ClusterSize()));
    QV_FUZZ_CHECK(file.damaged == record.Damaged());
    bool named = false;
    for (size_t i = 0; const RunList* s = record.GetDataStream(i); ++i)
        named = named || !s->Name().empty();
    QV_FUZZ_CHECK(file.hasNamedStreams == named);
    if (record.PreferredName() == nullptr) {
        QV_FUZZ_CHECK(file.folder.Empty() && !file.rooted);
        return;
    }
    // The folders met are looked up once per scan; a second climb gives the same path.
    FolderPath again;
    bool rooted = false;
    const Status climbed = session.FolderOf(record.GetParentReference(), &again, &rooted);
    QV_FUZZ_CHECK(again == file.folder && rooted == file.rooted);
    if (!climbed) {
        const int32_t code = climbed.error().code;
        QV_FUZZ_CHECK(code == kErrRead || code == kErrSeek || code == kErrDecompress);
        QV_FUZZ_CHECK(!rooted);
    }
    // A file in the root is rooted with no folders; one under another system record has none.
    const uint64_t parent = RecordNumberOf(record.GetParentReference());
    if (parent == kRootFolder) {
        QV_FUZZ_CHECK(file.rooted && file.folder.Empty() && climbed);
    } else if (parent < kFirstUserRecord) {
        QV_FUZZ_CHECK(!file.rooted && file.folder.Empty() && climbed);
    }
    QV_FUZZ_CHECK(file.folder.Depth() <= kMaxDepth);
}

Listed Summarize(const DeletedFile& file, const FileRecord& record, uint32_t clusterSize) {
    Listed listed{file.record, record.Damaged(), {}, file.name, file.folder, file.rooted};
    for (size_t i = 0; const RunList* s = record.GetDataStream(i); ++i)
        listed.streams.push_back(
            {s->Name(), s->TotalSize(clusterSize), s->Runs().size(), s->Damaged()});
    return listed;
}

void Scan(const BaseImage& image, const std::vector<Edit>& edits, bool advanced, Outcome& outcome) {
    auto reader = std::make_unique<VolumeReader>();
    const Status opened = reader->Open(std::make_unique<OverlayDevice>(image, edits));
    if (!opened) {
        QV_FUZZ_CHECK(opened.error().code == kErrBootSector || opened.error().code == kErrNoMemory);
        outcome.refused = opened.error().code;
        return;
    }
    QuietProgress progress;
    {
        Result<std::unique_ptr<ScanSession>> made =
            ScanSession::Open(std::move(reader), ScanOptions{advanced, u"F:"}, progress);
        if (!made) {
            QV_FUZZ_CHECK(made.error().code < 0);
            outcome.failed = made.error().code;
            NoteTempLimit(made.error());
            QV_FUZZ_CHECK(TempFiles().empty());  // a session that is not made leaves nothing
            return;
        }
        ScanSession& session = **made;
        const std::string kept = CheckTempFiles(advanced, true);

        DeletedFileList list;
        const Status found = session.FindDeletedFiles(list, progress);
        if (!found) {
            const int32_t code = found.error().code;
            QV_FUZZ_CHECK(code == kErrRead || code == kErrSeek || code == kErrDecompress ||
                          code == kErrNoMemory || code == kErrWrite);
            outcome.notFound = code;
            NoteTempLimit(found.error());
            // The front ends drop what a failed scan delivered: a part of a list must not pass
            // for all of it.
            list.Discard();
        } else {
            // The log's records are let go once the files are found; the kept records stay.
            QV_FUZZ_CHECK(TempFiles() == std::vector<std::string>{kept});
        }

        const uint32_t cs = session.ClusterSize();
        uint64_t previous = 0;
        for (const DeletedFile& file : list.files) {
            // One file per deleted base record, in ascending record number, past the system's.
            QV_FUZZ_CHECK(file.record >= kFirstUserRecord && file.record < session.RecordCount());
            QV_FUZZ_CHECK(file.record > previous);
            previous = file.record;
            // Every listed file can be loaded for a recovery.
            Result<std::unique_ptr<FileRecord>> loaded = session.LoadFile(file.record);
            QV_FUZZ_CHECK(loaded || loaded.error().code == kErrNoMemory);
            if (!loaded) continue;
            const FileRecord& record = **loaded;
            if (!advanced) {
                // Built from the base record as found: an unused, non-folder, base FILE record.
                // (A rolled-back header may say otherwise: the undo of a deletion.)
                QV_FUZZ_CHECK(HasFileSignature(record.Header().data(), record.Header().size()));
                QV_FUZZ_CHECK(!record.IsInUse() && !record.IsDirectory());
                QV_FUZZ_CHECK(record.IsBaseRecord());
            }
            CheckListed(file, record, session);
            outcome.files.push_back(Summarize(file, record, cs));
            Copy(record, session, outcome);
        }
    }
    // Every temporary file is removed with the session.
    QV_FUZZ_CHECK(TempFiles().empty());
}

// The advanced scan lists exactly the files of the normal one: it drops only files without a
// base record (which the normal scan cannot build either), and keeps a rolled-back file only when
// RollbackKeepsFile says it is at least as good as found — both builds listed, no stream of the
// file as found missing, shorter or with fewer runs, not damaged unless it was — and otherwise
// puts the images back.
void Compare(const Outcome& normal, const Outcome& advanced) {
    // Opening the volume, the kept records' file and the $MFT are the same in both modes; only
    // the advanced scan reads the log, after them.
    QV_FUZZ_CHECK(advanced.refused == normal.refused);
    if (normal.refused != 0) return;
    if (normal.failed != 0) QV_FUZZ_CHECK(advanced.failed == normal.failed);
    if (normal.failed != 0 || advanced.failed != 0) return;
    if (normal.notFound != 0 || advanced.notFound != 0) return;
    QV_FUZZ_CHECK(advanced.files.size() == normal.files.size());
    for (size_t i = 0; i < normal.files.size(); ++i) {
        const Listed& before = normal.files[i];
        const Listed& after = advanced.files[i];
        QV_FUZZ_CHECK(after.number == before.number);
        QV_FUZZ_CHECK(!after.damaged || before.damaged);
        for (const Stream& s : before.streams) {
            const auto it = std::find_if(after.streams.begin(), after.streams.end(),
                                         [&](const Stream& t) { return t.name == s.name; });
            QV_FUZZ_CHECK(it != after.streams.end());
            QV_FUZZ_CHECK(it->size >= s.size);
            QV_FUZZ_CHECK(it->runs >= s.runs);
            QV_FUZZ_CHECK(!it->damaged || s.damaged);
        }
    }
}

std::string PathText(const Listed& f) {
    std::string text = f.rooted ? "F:\\" : "";
    for (const std::u16string& name : f.folder.Names())
        text += ToUtf8(name) + "\\";
    return text;
}

void Report(const char* mode, const Outcome& o) {
    std::fprintf(stderr,
                 "  %-8s refused %d, failed %d, not found %d, %zu files listed; copies: %d whole, "
                 "%d incomplete, %d at the sink's limit, %d failed\n",
                 mode, o.refused, o.failed, o.notFound, o.files.size(), o.copies[0], o.copies[1],
                 o.copies[2], o.copies[3]);
    for (const Listed& f : o.files) {
        std::fprintf(stderr, "    record %llu%s \"%s\" in \"%s\":",
                     static_cast<unsigned long long>(f.number), f.damaged ? " (damaged)" : "",
                     ToUtf8(f.name).c_str(), PathText(f).c_str());
        for (const Stream& s : f.streams)
            std::fprintf(stderr, " \"%s\" %llu bytes in %zu runs%s;", ToUtf8(s.name).c_str(),
                         static_cast<unsigned long long>(s.size), s.runs,
                         s.damaged ? " (damaged)" : "");
        std::fprintf(stderr, "\n");
    }
}

}  // namespace

QV_FUZZ_DEFAULT_FLAGS_THEN(Prepare)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const BaseImage& image = gImages[data[0] % gImages.size()];
    const std::vector<Edit> edits = ParseEdits(image, data[1], data + 2, size - 2);
    Outcome normal, advanced;
    Scan(image, edits, false, normal);
    Scan(image, edits, true, advanced);
    if (gVerbose) {
        std::fprintf(stderr, "fuzz_volume: %s, %zu edit pieces\n", image.name.c_str(),
                     edits.size());
        Report("normal", normal);
        Report("advanced", advanced);
    }
    Compare(normal, advanced);
    return 0;
}
