#include "ntfs/FileRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/Error.h"
#include "ntfs/Fixup.h"
#include "ntfs/StreamReader.h"
#include "platform/Trace.h"

namespace qv {

namespace {

// NTFS keeps attribute lists below 256 KiB; anything much larger is not a list.
constexpr uint64_t kMaxAttributeListBytes = 1u << 20;

enum class WalkMode { kAll, kNamesOnly, kListed };

bool SameAttribute(const AttributeHeader& a, const AttributeListEntry& e, bool byId) {
    if (a.type != e.type) return false;
    if (byId) return a.id == e.attributeId;
    const uint64_t vcn = a.nonResident ? a.lowestVcn : 0;
    return a.name == e.name && vcn == e.startingVcn;
}

void TraceAttributeList(const std::array<uint8_t, record::kHeaderSize>& header) {
    char line[64];
    std::snprintf(line, sizeof line, "pasrse 20 Attr rec record = %x\n",
                  static_cast<unsigned>(Load32(header.data() + record::kRecordNumber)));
    AppendTraceLine("20.r", line);
}

}  // namespace

// The start of every parse: an image without the "FILE" signature contributes nothing; otherwise
// its fixups are applied in place. Returns the offset of the first attribute (0: none).
uint16_t FileRecord::PrepareImage(MutableByteSpan image) {
    if (image.size() < record::kHeaderSize || !HasFileSignature(image.data(), image.size()))
        return 0;
    ApplyFixups(image);
    return Load16(image.data() + record::kFirstAttribute);
}

int FileRecord::SetHeader(ByteSpan image) {
    header_.fill(0);
    // An empty span may have a null data(): memcpy must not see it, even for 0 bytes.
    if (!image.empty())
        std::memcpy(header_.data(), image.data(), std::min(image.size(), header_.size()));
    return 0;
}

uint64_t FileRecord::BaseReference() const {
    return RecordNumberOf(Load64(header_.data() + record::kBaseReference));
}
uint16_t FileRecord::Flags() const {
    return Load16(header_.data() + record::kFlags);
}
uint16_t FileRecord::SequenceNumber() const {
    return Load16(header_.data() + record::kSequence);
}

Parsed FileRecord::Parse(MutableByteSpan image, uint32_t clusterSize, VolumeReader* reader) {
    const uint16_t first = PrepareImage(image);
    if (first == 0) return Parsed::kUnreadable;
    AttributeWalker walker(image, first);
    while (auto attribute = walker.Next()) {
        ++attributeCount_;
        HandleAttribute(*attribute, clusterSize, reader);
        // A FileRecord set up with an extension record's header takes one attribute per image.
        if (!IsBaseRecord()) break;
    }
    if (walker.Damaged()) damaged_ = true;
    return damaged_ ? Parsed::kDamaged : Parsed::kFine;
}

Parsed FileRecord::ParseFileNames(MutableByteSpan image, uint32_t clusterSize) {
    const uint16_t first = PrepareImage(image);
    if (first == 0) return Parsed::kUnreadable;
    AttributeWalker walker(image, first);
    while (auto attribute = walker.Next()) {
        if (attribute->type == kAttrFileName) HandleAttribute(*attribute, clusterSize, nullptr);
        if (!IsBaseRecord()) break;
    }
    if (walker.Damaged()) damaged_ = true;
    return damaged_ ? Parsed::kDamaged : Parsed::kFine;
}

bool FileRecord::ParseListedAttribute(MutableByteSpan image, const AttributeListEntry& entry,
                                      uint32_t clusterSize, VolumeReader* reader) {
    const uint16_t first = PrepareImage(image);
    if (first == 0) return false;
    // Attribute ids are unique within a record; fall back to type, name and VCN for lists whose
    // ids do not match (written by other implementations).
    for (const bool byId : {true, false}) {
        AttributeWalker walker(image, first);
        while (auto attribute = walker.Next()) {
            if (SameAttribute(*attribute, entry, byId)) {
                HandleAttribute(*attribute, clusterSize, reader);
                return true;
            }
        }
        if (walker.Damaged()) damaged_ = true;
    }
    return false;
}

void FileRecord::MarkExtentMissing(const std::u16string& stream) {
    if (!ExtentMissing(stream)) missingExtents_.push_back(stream);
}

bool FileRecord::ExtentMissing(const std::u16string& stream) const {
    return std::find(missingExtents_.begin(), missingExtents_.end(), stream) !=
           missingExtents_.end();
}

void FileRecord::HandleAttribute(const AttributeHeader& a, uint32_t clusterSize,
                                 VolumeReader* reader) {
    if (!a.nonResident) {
        if (!a.hasValue) {
            // The value starts at the attribute's end: an empty value. An empty $DATA is still a
            // stream (an empty named stream is recovered as an empty file:stream).
            if (a.valueClipped)
                damaged_ = true;  // it would start past the attribute's end
            else if (a.type == kAttrData)
                AddDataStream(a);
            return;
        }
        if (a.valueClipped) damaged_ = true;
        switch (a.type) {
            case kAttrAttributeList:
                TraceAttributeList(header_);
                if (!ParseAttributeList(a.value, attributeList_)) damaged_ = true;
                return;
            case kAttrFileName: StoreFileName(a.value); return;
            case kAttrData: AddDataStream(a); return;
            default: return;
        }
    }
    switch (a.type) {
        case kAttrAttributeList: ReadNonResidentList(a, clusterSize, reader); return;
        case kAttrData: AddDataStream(a); return;
        default: return;  // a non-resident $FILE_NAME is not a thing NTFS writes
    }
}

void FileRecord::StoreFileName(ByteSpan value) {
    auto slot = FileNameSlot::Parse(value);
    if (!slot) {
        damaged_ = true;
        return;
    }
    if (slot->nameSpace > kNameSpaceWin32AndDos) return;  // unknown namespace: ignored
    // A later name of the same namespace (a second hard link, or the same name met in another
    // image of this file) replaces the earlier one.
    for (FileNameSlot& present : names_) {
        if (present.nameSpace == slot->nameSpace) {
            present = std::move(*slot);
            return;
        }
    }
    names_.push_back(std::move(*slot));
}

RunList* FileRecord::FindOrAddStream(const std::u16string& name) {
    for (auto& s : streams_)
        if (s->Name() == name) return s.get();
    if (streams_.size() >= kMaxStreams) return nullptr;
    streams_.push_back(std::make_unique<RunList>(name));
    return streams_.back().get();
}

void FileRecord::AddDataStream(const AttributeHeader& a) {
    // A later extent joins the stream of the same name, never a stream of another name.
    RunList* stream = FindOrAddStream(a.name);
    if (stream == nullptr) {
        damaged_ = true;  // the 257th stream
        return;
    }
    if (!a.nonResident) {
        if (stream->Runs().empty() && !stream->HasSizes()) stream->AddResident(a.value);
        return;
    }
    if (stream->IsResident()) return;  // a resident and a non-resident value of one name
    if (a.lowestVcn == 0 && !stream->HasSizes()) {
        stream->SetSizes(a.dataSize, a.initializedSize, a.allocatedSize);
        stream->SetCompression(a.compressionUnit, a.IsCompressed());
    }
    stream->AddExtent(a.mappingPairs, a.lowestVcn);
    if (stream->Damaged()) damaged_ = true;
}

void FileRecord::ReadNonResidentList(const AttributeHeader& a, uint32_t clusterSize,
                                     VolumeReader* reader) {
    if (reader == nullptr) return;
    RunList list;
    list.SetSizes(a.dataSize, a.initializedSize, a.allocatedSize);
    list.SetCompression(a.compressionUnit, a.IsCompressed());
    list.AddExtent(a.mappingPairs, a.lowestVcn);
    if (list.TotalSize(clusterSize) > kMaxAttributeListBytes) {
        damaged_ = true;
        return;
    }
    try {
        // Read into memory: the list is small, and a list that cannot be read whole is
        // abandoned rather than parsed from whatever a half-filled buffer holds.
        StreamReader in(list, *reader);
        std::vector<uint8_t> bytes(static_cast<size_t>(in.Size()));
        const Result<size_t> got = in.ReadAt(0, bytes.data(), bytes.size());
        if (!got || *got != bytes.size() || list.Damaged()) {
            damaged_ = true;
            return;
        }
        TraceAttributeList(header_);
        if (!ParseAttributeList(bytes, attributeList_)) damaged_ = true;
    } catch (const std::bad_alloc&) {
        throw CMyException(kErrNoMemory);
    }
}

}  // namespace qv
