// The whole path on a small NTFS volume: a ScanSession in the normal and in the advanced mode,
// FindDeletedFiles, MakeEntry (names, sizes, BuildPath), and the recovery of every listed file's
// content and named streams into bounded sinks, on a fixture image changed by a list of edits.
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
// makes a scan that fills a temporary copy up to the harness's file size limit a finding.
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
#include "app/CMyException.h"
#include "app/ErrorCodes.h"
#include "app/ProgressDialog.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/Text.h"
#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"
#include "volume/VolumeReader.h"

#ifndef QV_FUZZ_FIXTURE_IMAGES
#error "QV_FUZZ_FIXTURE_IMAGES (the folder of the gzipped fixture images) must be defined"
#endif

namespace {

using namespace qv;
using qv::fuzz::CountingSink;

constexpr char16_t kDrive = u'F';
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
// The session's temporary copies ($MFT, $LogFile, log records) cannot grow past this: a hostile
// $MFT or $LogFile of sparse runs describes terabytes of zeros. A write past it fails (EFBIG).
constexpr uint64_t kTempFileLimit = 64u << 20;
// From BuildPath: the climb stops after this many folders; names are at most 255 code units.
constexpr size_t kMaxPathUnits = 3 + 1024 * (255 + 1);
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
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= base_.size) return 0;
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>({size, base_.size - offset, kMaxRead}));
        auto* out = static_cast<uint8_t*>(buffer);
        base_.Read(offset, out, n);
        for (const Edit& e : edits_) {
            const uint64_t lo = std::max(offset, e.at);
            const uint64_t hi = std::min(offset + n, e.at + e.bytes.size());
            if (lo < hi) std::memcpy(out + (lo - offset), e.bytes.data() + (lo - e.at), hi - lo);
        }
        return static_cast<int64_t>(n);
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
        const uint32_t type = Load32(first.data());
        if (type == 0 || type == 0xFFFFFFFFu) continue;
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
    if (reader.Open(std::make_unique<OverlayDevice>(image, kNoEdits), kDrive) != 0) return;
    const uint32_t cs = reader.ClusterSize();
    const uint32_t rs = reader.RecordSize();
    image.clusterSize = cs;
    image.recordSize = rs;
    image.clusterCount = image.size / cs;

    std::vector<uint8_t> record(rs);
    if (reader.ReadMftStart(record.data(), rs) < 0) return;
    FileRecord mft;
    mft.SetHeader(record);
    if (mft.Parse(record, cs, &reader) < 0 || mft.UnnamedStream() == nullptr ||
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
    if (log.Parse(record, cs, &reader) < 0 || log.UnnamedStream() == nullptr ||
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
    std::u16string path;
};

struct Outcome {
    int refused = 0;  // VolumeReader::Open's code
    int thrown = 0;   // the session's CMyException code
    std::vector<Listed> files;
    int copies[4] = {};  // done, incomplete, stopped at the sink's limit, failed otherwise
};

void CheckCopy(int result, const CountingSink& out, uint64_t expected, Outcome& outcome) {
    // The results DataCopy.h lists.
    QV_FUZZ_CHECK(result == 0 || result == kErrCopyIncomplete || result == kErrRead ||
                  result == kErrSeek || result == kErrDecompress || result == kErrWrite ||
                  result == kErrNoMemory);
    // The stream is cut at its size; a write only fails when the sink turns it down.
    QV_FUZZ_CHECK(out.written <= expected);
    QV_FUZZ_CHECK((result == kErrWrite) == out.refused);
    if (expected <= kCopyLimit) QV_FUZZ_CHECK(!out.refused);
    if (result == 0) QV_FUZZ_CHECK(out.written == expected);
    outcome.copies[result == 0                    ? 0
                   : result == kErrCopyIncomplete ? 1
                   : result == kErrWrite          ? 2
                                                  : 3]++;
}

// Copies the file's content and each named stream, as the recovery does, into bounded sinks.
void Recover(const FileRecord& record, ScanSession& session, Outcome& outcome) {
    VolumeReader& reader = session.Reader();
    const uint32_t cs = reader.ClusterSize();
    {
        CountingSink out(kCopyLimit);
        ProgressDialog progress;
        const int r = CopyRecordData(out, record, reader, progress);
        CheckCopy(r, out, record.TotalDataSize(cs), outcome);
    }
    for (size_t i = 0; const RunList* stream = record.GetDataStream(i); ++i) {
        if (stream->Name().empty()) continue;
        CountingSink out(kCopyLimit);
        ProgressDialog progress;
        const uint64_t expected = stream->TotalSize(cs);
        progress.SetSteps(static_cast<int64_t>(expected));
        const int r = CopyTo(*stream, reader, out, progress);
        CheckCopy(r, out, expected, outcome);
    }
}

// What MakeEntry filled in, and the path BuildPath climbed.
void CheckEntry(const DeletedFileEntry& entry, ScanSession& session) {
    const FileRecord& record = *entry.record;
    QV_FUZZ_CHECK(entry.name == record.GetName());
    QV_FUZZ_CHECK(entry.size == record.TotalDataSize(session.ClusterSize()));
    // The folders met are looked up once per scan; a second climb gives the same path.
    std::u16string again;
    const int r = session.BuildPath(record, again);
    QV_FUZZ_CHECK(again == entry.path);
    QV_FUZZ_CHECK(r == 0 || r == -1 || r == kErrRead);
    if (record.PreferredName() == nullptr) {
        QV_FUZZ_CHECK(r == -1 && entry.path.empty());
        return;
    }
    QV_FUZZ_CHECK(r != -1);
    // Empty, or folder names each followed by a backslash, under "F:\" when the root was reached.
    const uint64_t parent = RecordNumberOf(record.GetParentReference());
    if (parent == kRootFolder) {
        QV_FUZZ_CHECK(entry.path == u"F:\\" && r == 0);
    } else if (parent < kFirstUserRecord) {
        QV_FUZZ_CHECK(entry.path.empty() && r == 0);
    }
    QV_FUZZ_CHECK(entry.path.empty() || entry.path.back() == u'\\');
    QV_FUZZ_CHECK(entry.path.size() <= kMaxPathUnits);
}

Listed Summarize(const FileRecord& record, uint32_t clusterSize) {
    Listed listed{record.RecordNumber(), record.Damaged(), {}, {}, {}};
    for (size_t i = 0; const RunList* s = record.GetDataStream(i); ++i)
        listed.streams.push_back(
            {s->Name(), s->TotalSize(clusterSize), s->Runs().size(), s->Damaged()});
    return listed;
}

void Scan(const BaseImage& image, const std::vector<Edit>& edits, bool advanced, Outcome& outcome) {
    auto reader = std::make_unique<VolumeReader>();
    const int opened = reader->Open(std::make_unique<OverlayDevice>(image, edits), kDrive);
    QV_FUZZ_CHECK(opened == 0 || opened == kErrBootSector || opened == kErrNoMemory);
    if (opened != 0) {
        outcome.refused = opened;
        return;
    }
    ProgressDialog progress;
    try {
        ScanSession session(std::move(reader), advanced, progress);
        // The $MFT copy ("NRM") lives as long as the session; the $LogFile copy ("NRL") is gone
        // once the session is made, the log records' store ("NRG") once the files are found.
        const std::u16string mftCopy = session.MftCopyPath();
        const std::string mftName = ToUtf8(mftCopy.substr(mftCopy.rfind(u'/') + 1));
        QV_FUZZ_CHECK(HasPrefix(mftName, "NRM"));
        std::vector<std::string> temp = TempFiles();
        QV_FUZZ_CHECK(std::count(temp.begin(), temp.end(), mftName) == 1);
        for (const std::string& n : temp)
            QV_FUZZ_CHECK(n == mftName || (advanced && HasPrefix(n, "NRG")));
        QV_FUZZ_CHECK(temp.size() <= (advanced ? 2u : 1u));

        std::vector<std::unique_ptr<FileRecord>> found;
        const int r = session.FindDeletedFiles(found, advanced, progress);
        QV_FUZZ_CHECK(r == 0 || r == kErrNoMemory);
        QV_FUZZ_CHECK(TempFiles() == std::vector<std::string>{mftName});

        const uint32_t cs = session.ClusterSize();
        uint64_t previous = 0;
        for (std::unique_ptr<FileRecord>& record : found) {
            QV_FUZZ_CHECK(record != nullptr);
            // One file per deleted base record, in ascending record number, past the system's.
            const uint64_t number = record->RecordNumber();
            QV_FUZZ_CHECK(number >= kFirstUserRecord && number < session.RecordCount());
            QV_FUZZ_CHECK(number > previous);
            previous = number;
            if (!advanced) {
                // Built from the base record as found: an unused, non-folder, base FILE record.
                // (A rolled-back header may say otherwise: the undo of a deletion.)
                QV_FUZZ_CHECK(HasFileSignature(record->Header().data(), record->Header().size()));
                QV_FUZZ_CHECK(!record->IsInUse() && !record->IsDirectory());
                QV_FUZZ_CHECK(record->IsBaseRecord());
            }
            outcome.files.push_back(Summarize(*record, cs));
            const std::unique_ptr<DeletedFileEntry> entry = MakeEntry(std::move(record), session);
            QV_FUZZ_CHECK(entry != nullptr && entry->record != nullptr);
            CheckEntry(*entry, session);
            outcome.files.back().name = entry->name;
            outcome.files.back().path = entry->path;
            Recover(*entry->record, session, outcome);
        }
    } catch (const CMyException& e) {
        QV_FUZZ_CHECK(e.Code() < 0);
        outcome.thrown = e.Code();
        outcome.files.clear();
        if (e.Code() == kErrWrite) {
            // Only a temporary copy is written, on a folder of our own: it reached kTempFileLimit.
            if (gTempLimitAborts) {
                std::fprintf(stderr, "fuzz_volume: a temporary copy reached %llu MiB: %s\n",
                             static_cast<unsigned long long>(kTempFileLimit >> 20),
                             e.Detail().c_str());
                std::abort();
            }
            if (gTempLimitHits++ == 0)
                std::fprintf(stderr,
                             "fuzz_volume: note: a temporary copy reached the %llu MiB limit (%s); "
                             "QUORVANE_FUZZ_TEMP_LIMIT=abort keeps such inputs\n",
                             static_cast<unsigned long long>(kTempFileLimit >> 20),
                             e.Detail().c_str());
        }
    }
    // Every temporary file is removed with the session, whether it was made or thrown.
    QV_FUZZ_CHECK(TempFiles().empty());
}

// The advanced scan lists exactly the files of the normal one: it drops only files without a
// base record (which the normal scan cannot build either), and keeps a rolled-back file only when
// RollbackKeepsFile says it is at least as good as found — both builds listed, no stream of the
// file as found missing, shorter or with fewer runs, not damaged unless it was — and otherwise
// puts the images back.
void Compare(const Outcome& normal, const Outcome& advanced) {
    // Opening and the $MFT copy are the same in both modes; only the advanced scan reads the log.
    QV_FUZZ_CHECK(advanced.refused == normal.refused);
    if (normal.refused != 0) return;
    if (normal.thrown != 0) QV_FUZZ_CHECK(advanced.thrown == normal.thrown);
    if (normal.thrown != 0 || advanced.thrown != 0) return;
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

void Report(const char* mode, const Outcome& o) {
    std::fprintf(stderr,
                 "  %-8s refused %d, thrown %d, %zu files listed; copies: %d done, %d incomplete, "
                 "%d at the sink's limit, %d failed\n",
                 mode, o.refused, o.thrown, o.files.size(), o.copies[0], o.copies[1], o.copies[2],
                 o.copies[3]);
    for (const Listed& f : o.files) {
        std::fprintf(stderr, "    record %llu%s \"%s\" in \"%s\":",
                     static_cast<unsigned long long>(f.number), f.damaged ? " (damaged)" : "",
                     ToUtf8(f.name).c_str(), ToUtf8(f.path).c_str());
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
