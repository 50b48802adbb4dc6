// FileRecord parsing of one FILE record image, as the scan and the recovery use it.
//
// Input: a mode byte, then the record image, then (optionally) more bytes.
//   mode bit 0: the record is 4096 bytes, else 1024 (the image is cut or padded with zeros)
//   mode bit 1: parse with a volume reader whose clusters hold the bytes after the record
//               (a non-resident attribute list is then read and parsed; the file's content is
//               copied into a bounded sink)
//   mode bit 2: take the image exactly as long as the rest of the input (odd sizes), up to
//               16 KiB, instead of a whole record
// The attribute-list entries for ParseListedAttribute (8 at most): those parsed from the bytes
// after the record, then those of the record's own list; without any, one made from the header.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "base/Error.h"
#include "base/Progress.h"
#include "ntfs/AttributeList.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "support/Bytes.h"

namespace {

using namespace qv;
using qv::test::DiscardSink;

constexpr uint32_t kClusterSize = 4096;

void Exercise(const FileRecord& r) {
    volatile uint64_t sink = 0;
    sink = sink + r.IsBaseRecord() + r.BaseReference() + r.Flags() + r.IsDirectory() + r.IsInUse() +
           r.SequenceNumber() + r.AttributeCount() + r.Damaged();
    const std::u16string name = r.GetName();
    sink = sink + name.size() + r.GetParent() + r.GetParentReference();
    const FileNameSlot* preferred = r.PreferredName();
    QV_FUZZ_CHECK((preferred == nullptr) == name.empty());
    QV_FUZZ_CHECK(preferred != nullptr || r.GetParent() == 0xFFFFFFFFu);
    for (int ns = 0; ns < 4; ++ns)
        sink = sink + r.Slot(static_cast<FileNameSpace>(ns)).name.size();
    CTime created, modified, accessed;
    const int times = r.GetTimes(created, modified, accessed);
    QV_FUZZ_CHECK(times == 0 || times == kErrNoFileName);
    QV_FUZZ_CHECK((times == 0) == (preferred != nullptr));
    if (times == 0) {
        sink = sink + static_cast<uint64_t>(created.Seconds() ^ modified.Seconds()) +
               created.Format("%Y-%m-%d %H:%M:%S").size();
    }
    sink = sink + r.TotalDataSize(kClusterSize) + r.TotalDataSize(512);

    QV_FUZZ_CHECK(r.StreamCount() <= FileRecord::kMaxStreams);
    for (size_t i = 0; i < r.StreamCount(); ++i) {
        const RunList* s = r.GetDataStream(i);
        QV_FUZZ_CHECK(s != nullptr);
        QV_FUZZ_CHECK(r.FindStream(s->Name()) == s);  // names are unique
        sink = sink + s->TotalSize(kClusterSize) + s->ClusterTotal() + s->IsCompressed() +
               s->ClustersPerUnit() + s->HasSizes() + s->Damaged() + s->DataSize() +
               s->InitializedSize() + s->AllocatedSize() + s->CompressionUnit();
        if (s->IsResident()) QV_FUZZ_CHECK(s->Runs().size() == 1);
        for (const DataRun& run : s->Runs()) {
            sink = sink + run.vcn + run.firstCluster + run.clusterCount + run.IsSparse() +
                   run.residentBytes.size();
            if (run.resident) QV_FUZZ_CHECK(s->IsResident());
        }
    }
    QV_FUZZ_CHECK(r.GetDataStream(r.StreamCount()) == nullptr);
    const RunList* content = r.UnnamedStream();
    QV_FUZZ_CHECK(content == nullptr || content->Name().empty());
    for (size_t i = 0; i < r.AttributeListCount(); ++i) {
        const AttributeListEntry* e = r.GetAttributeListEntry(i);
        QV_FUZZ_CHECK(e != nullptr && e->length >= AttributeListEntry::kHeadSize);
        sink = sink + e->SegmentRecordNumber() + e->name.size();
    }
    QV_FUZZ_CHECK(r.GetAttributeListEntry(r.AttributeListCount()) == nullptr);
}

// Copies the file's content from the volume into a sink that takes at most 1 MiB.
void Copy(const FileRecord& r, VolumeReader& reader) {
    DiscardSink out(1u << 20);
    QuietProgress progress;
    const Result<Copied> result = CopyRecordData(out, r, reader, progress);
    if (!result) {
        // The failures DataCopy.h lists; a write fails only when the sink turns it down.
        const int32_t code = result.error().code;
        QV_FUZZ_CHECK(code == kErrRead || code == kErrSeek || code == kErrDecompress ||
                      code == kErrWrite || code == kErrNoMemory);
        QV_FUZZ_CHECK((code == kErrWrite) == out.refused);
        return;
    }
    QV_FUZZ_CHECK(!out.refused);
    QV_FUZZ_CHECK(*result != Copied::kStopped);  // nobody pressed Stop
    const uint64_t size = r.TotalDataSize(reader.ClusterSize());
    QV_FUZZ_CHECK(out.written <= size);
    if (*result == Copied::kWhole) QV_FUZZ_CHECK(out.written == size);
}

// Parsing says kUnreadable exactly when the image has no "FILE" signature or no first attribute,
// and then takes nothing; kDamaged exactly when the record is marked damaged.
void CheckParsed(Parsed parsed, const FileRecord& r, const std::vector<uint8_t>& image) {
    const bool readable = image.size() >= record::kHeaderSize &&
                          HasFileSignature(image.data(), image.size()) &&
                          Load16(image.data() + record::kFirstAttribute) != 0;
    QV_FUZZ_CHECK((parsed == Parsed::kUnreadable) == !readable);
    QV_FUZZ_CHECK((parsed == Parsed::kDamaged) == r.Damaged());
    if (!readable)
        QV_FUZZ_CHECK(r.AttributeCount() == 0 && r.StreamCount() == 0 && r.GetName().empty());
}

}  // namespace

QV_FUZZ_DEFAULT_FLAGS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const ByteSpan rest(data + 1, size - 1);

    size_t recordSize = (mode & 1) ? 4096 : 1024;
    if (mode & 4) recordSize = std::min<size_t>(rest.size(), 16384);
    // Exactly sized heap buffers: an access past the image is an ASan report.
    std::vector<uint8_t> image(recordSize, 0);
    std::copy_n(rest.begin(), std::min(recordSize, rest.size()), image.begin());
    const ByteSpan tail = rest.size() > recordSize ? rest.subspan(recordSize) : ByteSpan();

    VolumeReader* reader = nullptr;
    if (mode & 2) {
        static fuzz::PatternDevice* device = nullptr;
        static std::unique_ptr<VolumeReader> shared = [] {
            auto owned =
                std::make_unique<fuzz::PatternDevice>(kClusterSize, std::vector<uint8_t>());
            device = owned.get();
            return fuzz::OpenReader(std::move(owned));
        }();
        QV_FUZZ_CHECK(shared != nullptr);
        device->SetPattern(std::vector<uint8_t>(tail.begin(), tail.end()));
        fuzz::DropWindow(*shared);
        reader = shared.get();
    }

    // The whole record.
    FileRecord base;
    base.SetHeader(image);
    {
        std::vector<uint8_t> copy = image;
        CheckParsed(base.Parse(copy, kClusterSize, reader), base, image);
    }
    Exercise(base);

    // Names only, as the scan's first pass does.
    {
        FileRecord names;
        names.SetHeader(image);
        std::vector<uint8_t> copy = image;
        CheckParsed(names.ParseFileNames(copy, kClusterSize), names, image);
        Exercise(names);
        QV_FUZZ_CHECK(names.StreamCount() == 0);
        QV_FUZZ_CHECK(names.AttributeListCount() == 0);
    }

    // The listed attributes, into a fresh record and into the base one (accumulating).
    std::vector<AttributeListEntry> entries;
    ParseAttributeList(tail, entries);
    for (size_t i = 0; i < base.AttributeListCount() && entries.size() < 8; ++i)
        entries.push_back(*base.GetAttributeListEntry(i));
    if (entries.empty()) {
        AttributeListEntry e;
        e.type = image.size() > 0x28 && (image[0x28] & 1) ? kAttrFileName : kAttrData;
        e.attributeId = image.size() > 0x2A ? static_cast<uint16_t>(image[0x29]) : 0;
        e.length = AttributeListEntry::kHeadSize;
        entries.push_back(e);
    }
    if (entries.size() > 8) entries.resize(8);
    FileRecord listed;
    listed.SetHeader(image);
    for (const AttributeListEntry& e : entries) {
        std::vector<uint8_t> copy = image;
        listed.ParseListedAttribute(copy, e, kClusterSize, reader);
        copy = image;
        base.ParseListedAttribute(copy, e, kClusterSize, reader);
    }
    Exercise(listed);
    Exercise(base);

    if (reader != nullptr) {
        Copy(base, *reader);
        Copy(listed, *reader);
    }
    return 0;
}
