#include "deepscan/RecordUndo.h"

#include <algorithm>
#include <cstring>

#include "deepscan/LogFormat.h"
#include "ntfs/AttributeLayout.h"
#include "ntfs/FileNameLayout.h"
#include "ntfs/Fixup.h"
#include "ntfs/IndexLayout.h"
#include "ntfs/MappingPairs.h"
#include "ntfs/RecordHeader.h"

namespace qv {

namespace {

// Undo data may be empty, and an empty span's data() may be null: memcpy must not see it.
void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
    if (n != 0) std::memcpy(to, from, n);
}

using namespace logfmt;

using namespace attribute;

// The header fields a record walk reads end with the bytes allocated; the update sequence array
// must lie past them. The first attribute lies past the base reference at least.
constexpr uint32_t kHeaderFieldsEnd = record::kBytesAllocated + 4;
constexpr uint32_t kMinFirstAttribute = record::kBaseReference + 8;
constexpr uint32_t kMinAttributeLength = kResidentHeaderSize;  // the smallest attribute

// The undo data of kSetNewAttributeSizes: allocated size, valid data length, data size and, for
// compressed and sparse attributes, the total allocated (64 bits each).
constexpr size_t kNewAllocatedSize = 0;
constexpr size_t kNewInitializedSize = 8;
constexpr size_t kNewDataSize = 16;
constexpr size_t kNewTotalAllocated = 24;

void Store64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The attributes of a record, as found by a strict walk.
struct Layout {
    uint32_t size = 0;
    uint32_t firstAttribute = 0;
    uint32_t bytesInUse = 0;
    uint32_t endMarker = 0;
    std::vector<uint32_t> attributes;

    bool IsAttribute(uint64_t offset) const {
        for (uint32_t a : attributes)
            if (a == offset) return true;
        return false;
    }
};

// True when the record is a FILE record whose attributes are 8-byte aligned, lie inside its
// bytes in use and end in an end marker; and whose update sequence array lies in front of them.
bool Walk(const std::vector<uint8_t>& rec, Layout& layout) {
    layout = Layout{};
    if (rec.size() < record::kHeaderSize || rec.size() > UINT32_MAX) return false;
    if (!HasFileSignature(rec.data(), rec.size())) return false;
    layout.size = static_cast<uint32_t>(rec.size());
    layout.firstAttribute = Load16(rec.data() + record::kFirstAttribute);
    layout.bytesInUse = Load32(rec.data() + record::kBytesInUse);
    const uint32_t usaOffset = Load16(rec.data() + record::kUsaOffset);
    const uint32_t usaCount = Load16(rec.data() + record::kUsaCount);
    if (layout.firstAttribute % 8 != 0 || layout.firstAttribute < kMinFirstAttribute) return false;
    if (usaOffset + 2 * usaCount > layout.firstAttribute) return false;
    if (layout.bytesInUse > layout.size || layout.bytesInUse < layout.firstAttribute) return false;
    uint32_t a = layout.firstAttribute;
    for (;;) {
        if (!Fits(layout.bytesInUse, a, 4)) return false;
        if (Load32(rec.data() + a + kType) == kAttrEnd) {
            layout.endMarker = a;
            return true;
        }
        if (!Fits(layout.bytesInUse, a, kMinAttributeLength)) return false;
        const uint32_t length = Load32(rec.data() + a + kLength);
        if (length < kMinAttributeLength || length % 8 != 0 || !Fits(layout.bytesInUse, a, length))
            return false;
        layout.attributes.push_back(a);
        a += length;
    }
}

// Moves everything from pos to the end of the bytes in use by delta bytes (up or down) and
// adjusts the bytes in use; freed bytes at the end become zero. pos must be inside the bytes
// in use, and for a removal the removed stretch [pos + delta, pos) too.
bool ShiftTail(std::vector<uint8_t>& rec, Layout& layout, uint32_t pos, int64_t delta) {
    if (pos > layout.bytesInUse) return false;
    const int64_t newInUse = static_cast<int64_t>(layout.bytesInUse) + delta;
    if (newInUse < 0 || newInUse > layout.size) return false;
    if (delta < 0 && static_cast<int64_t>(pos) + delta < 0) return false;
    const int64_t target = static_cast<int64_t>(pos) + delta;
    std::memmove(rec.data() + target, rec.data() + pos, layout.bytesInUse - pos);
    if (delta < 0) std::memset(rec.data() + newInUse, 0, static_cast<size_t>(-delta));
    layout.bytesInUse = static_cast<uint32_t>(newInUse);
    Store32(rec.data() + record::kBytesInUse, layout.bytesInUse);
    return true;
}

// Gives the attribute at `at` a new length, moving what follows it.
bool ResizeAttribute(std::vector<uint8_t>& rec, Layout& layout, uint32_t at, uint32_t newLength) {
    const uint32_t length = Load32(rec.data() + at + kLength);
    if (newLength == length) return true;
    if (!ShiftTail(rec, layout, at + length,
                   static_cast<int64_t>(newLength) - static_cast<int64_t>(length)))
        return false;
    Store32(rec.data() + at + kLength, newLength);
    return true;
}

bool InsertAttribute(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    const ByteSpan d = c.data;
    if (d.size() < kMinAttributeLength || d.size() % 8 != 0) return false;
    if (Load32(d.data() + kType) == kAttrEnd || Load32(d.data() + kLength) != d.size())
        return false;
    if (!layout.IsAttribute(c.recordOff) && c.recordOff != layout.endMarker) return false;
    if (!ShiftTail(rec, layout, c.recordOff, static_cast<int64_t>(d.size()))) return false;
    CopyBytes(rec.data() + c.recordOff, d.data(), d.size());
    return true;
}

bool RemoveAttribute(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    if (!layout.IsAttribute(c.recordOff)) return false;
    const uint32_t length = Load32(rec.data() + c.recordOff + kLength);
    return ShiftTail(rec, layout, c.recordOff + length, -static_cast<int64_t>(length));
}

// A resident value gets the undo bytes at attrOff. When the lengths differ, the logged bytes
// ran to the end of the value: the value ends after the undo bytes again and the attribute
// takes the 8-byte aligned length that holds it.
bool ChangeResidentValue(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    const uint32_t at = c.recordOff;
    if (!layout.IsAttribute(at) || rec[at + kNonResident] != 0) return false;
    const uint32_t length = Load32(rec.data() + at + kLength);
    const uint32_t valueOffset = Load16(rec.data() + at + kValueOffset);
    const uint64_t valueLength = Load32(rec.data() + at + kValueLength);
    if (valueOffset < kResidentHeaderSize || valueOffset + valueLength > length) return false;
    const uint64_t p = c.attrOff;
    const uint64_t n = c.data.size();
    if (p < valueOffset) return false;
    if (n == c.redoLength) {
        if (p + n > valueOffset + valueLength) return false;
        CopyBytes(rec.data() + at + p, c.data.data(), n);
        return true;
    }
    if (valueOffset + valueLength != p + c.redoLength) return false;
    const uint64_t newLength = Align8(p + n);
    if (newLength > layout.size) return false;
    if (!ResizeAttribute(rec, layout, at, static_cast<uint32_t>(newLength))) return false;
    CopyBytes(rec.data() + at + p, c.data.data(), n);
    std::memset(rec.data() + at + p + n, 0, newLength - (p + n));
    Store32(rec.data() + at + kValueLength, static_cast<uint32_t>(p + n - valueOffset));
    return true;
}

// Mapping pairs are logged from attrOff to their end: the attribute ends, 8-byte aligned, after
// the undo bytes, and its highest VCN follows the restored runs.
bool ChangeMappingPairs(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    const uint32_t at = c.recordOff;
    if (!layout.IsAttribute(at) || rec[at + kNonResident] != 1) return false;
    const uint32_t length = Load32(rec.data() + at + kLength);
    if (length < kNonResidentHeaderSize) return false;
    const uint32_t pairsOffset = Load16(rec.data() + at + kPairsOffset);
    const uint64_t p = c.attrOff;
    const uint64_t n = c.data.size();
    if (pairsOffset < kNonResidentHeaderSize || pairsOffset > length || p < pairsOffset)
        return false;
    const uint64_t newLength = Align8(p + n);
    if (newLength > layout.size || newLength < pairsOffset) return false;
    if (!ResizeAttribute(rec, layout, at, static_cast<uint32_t>(newLength))) return false;
    CopyBytes(rec.data() + at + p, c.data.data(), n);
    std::memset(rec.data() + at + p + n, 0, newLength - (p + n));
    std::vector<DataRun> runs;
    const uint64_t lowest = Load64(rec.data() + at + kLowestVcn);
    const ByteSpan pairs(rec.data() + at + pairsOffset, newLength - pairsOffset);
    if (DecodeMappingPairs(pairs, lowest, runs) == PairsStatus::kOk && !runs.empty()) {
        const DataRun& last = runs.back();
        Store64(rec.data() + at + kHighestVcn, last.vcn + last.clusterCount - 1);
    }
    return true;
}

// The sizes go to their own fields: allocated size, valid data length, data size, and, for
// compressed and sparse attributes, the total allocated.
bool SetAttributeSizes(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    const uint32_t at = c.recordOff;
    if (!layout.IsAttribute(at) || rec[at + kNonResident] != 1) return false;
    const uint32_t length = Load32(rec.data() + at + kLength);
    if (length < kNonResidentHeaderSize || Load64(rec.data() + at + kLowestVcn) != 0) return false;
    const uint8_t* d = c.data.data();
    if (c.data.size() < kNewTotalAllocated) return false;
    Store64(rec.data() + at + kAllocatedSize, Load64(d + kNewAllocatedSize));
    Store64(rec.data() + at + kInitializedSize, Load64(d + kNewInitializedSize));
    Store64(rec.data() + at + kDataSize, Load64(d + kNewDataSize));
    if (c.data.size() >= kNewTotalAllocated + 8 && length >= kCompressedHeaderSize &&
        Load16(rec.data() + at + kPairsOffset) >= kCompressedHeaderSize)
        Store64(rec.data() + at + kTotalAllocated, Load64(d + kNewTotalAllocated));
    return true;
}

// The end of the record from recordOff + attrOff is rewritten, and the record ends there.
bool WriteEndOfRecord(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    if (!layout.IsAttribute(c.recordOff) && c.recordOff != layout.endMarker) return false;
    const uint64_t p = uint64_t{c.recordOff} + c.attrOff;
    const uint64_t n = c.data.size();
    if (p < layout.firstAttribute || p + n > layout.size) return false;
    CopyBytes(rec.data() + p, c.data.data(), n);
    const uint64_t end = p + n;
    if (end < layout.bytesInUse) std::memset(rec.data() + end, 0, layout.bytesInUse - end);
    layout.bytesInUse = static_cast<uint32_t>(end);
    Store32(rec.data() + record::kBytesInUse, layout.bytesInUse);
    return true;
}

// Where the index entries of an $INDEX_ROOT lie.
struct IndexRoot {
    uint32_t at = 0;      // the attribute
    uint32_t header = 0;  // its index header, from the record's start
    uint32_t firstEntry = 0;
    uint32_t entriesEnd = 0;  // from the record's start
};

bool FindIndexRoot(const std::vector<uint8_t>& rec, const Layout& layout, uint32_t at,
                   IndexRoot& root) {
    if (!layout.IsAttribute(at) || Load32(rec.data() + at + kType) != kAttrIndexRoot ||
        rec[at + kNonResident] != 0)
        return false;
    const uint32_t length = Load32(rec.data() + at + kLength);
    const uint32_t valueOffset = Load16(rec.data() + at + kValueOffset);
    const uint64_t valueLength = Load32(rec.data() + at + kValueLength);
    if (valueOffset + valueLength > length || valueLength < index::kRootHeader + index::kHeaderSize)
        return false;
    root.at = at;
    root.header = at + valueOffset + index::kRootHeader;
    const uint64_t first = Load32(rec.data() + root.header + index::kFirstEntry);
    const uint64_t inUse = Load32(rec.data() + root.header + index::kBytesInUse);
    const uint64_t valueEnd = uint64_t{at} + valueOffset + valueLength;
    if (first < index::kHeaderSize || first > inUse || root.header + inUse > valueEnd) return false;
    root.firstEntry = static_cast<uint32_t>(root.header + first);
    root.entriesEnd = static_cast<uint32_t>(root.header + inUse);
    return true;
}

// The position of the entry a change names, when it is one of the root's entries.
bool FindEntry(const std::vector<uint8_t>& rec, const IndexRoot& root, uint64_t pos,
               uint32_t& length) {
    uint64_t e = root.firstEntry;
    while (e + index::kEntryHeaderSize <= root.entriesEnd) {
        const uint32_t len = Load16(rec.data() + e + index::kEntryLength);
        if (len < index::kEntryHeaderSize || len % 8 != 0 || e + len > root.entriesEnd)
            return false;
        if (e == pos) {
            length = len;
            return true;
        }
        if (Load16(rec.data() + e + index::kEntryFlags) & index::kEntryLast) return false;
        e += len;
    }
    return false;
}

void GrowIndexRoot(std::vector<uint8_t>& rec, const IndexRoot& root, int64_t delta) {
    uint8_t* a = rec.data() + root.at;
    Store32(a + kLength, static_cast<uint32_t>(Load32(a + kLength) + delta));
    Store32(a + kValueLength, static_cast<uint32_t>(Load32(a + kValueLength) + delta));
    uint8_t* h = rec.data() + root.header;
    Store32(h + index::kBytesInUse, static_cast<uint32_t>(Load32(h + index::kBytesInUse) + delta));
    Store32(h + index::kBytesAllocated,
            static_cast<uint32_t>(Load32(h + index::kBytesAllocated) + delta));
}

bool InsertIndexEntry(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    IndexRoot root;
    if (!FindIndexRoot(rec, layout, c.recordOff, root)) return false;
    const uint64_t pos = uint64_t{c.recordOff} + c.attrOff;
    uint32_t existing = 0;
    if (!FindEntry(rec, root, pos, existing)) return false;  // it goes in front of an entry
    const size_t n = c.data.size();
    if (n < index::kEntryHeaderSize || n % 8 != 0 ||
        Load16(c.data.data() + index::kEntryLength) != n)
        return false;
    if (!ShiftTail(rec, layout, static_cast<uint32_t>(pos), static_cast<int64_t>(n))) return false;
    CopyBytes(rec.data() + pos, c.data.data(), n);
    GrowIndexRoot(rec, root, static_cast<int64_t>(n));
    return true;
}

bool RemoveIndexEntry(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    IndexRoot root;
    if (!FindIndexRoot(rec, layout, c.recordOff, root)) return false;
    const uint64_t pos = uint64_t{c.recordOff} + c.attrOff;
    uint32_t length = 0;
    if (!FindEntry(rec, root, pos, length)) return false;
    if (Load16(rec.data() + pos + index::kEntryFlags) & index::kEntryLast)
        return false;  // the end entry stays
    if (!ShiftTail(rec, layout, static_cast<uint32_t>(pos + length), -static_cast<int64_t>(length)))
        return false;
    GrowIndexRoot(rec, root, -static_cast<int64_t>(length));
    return true;
}

// The changes that rewrite part of one index entry in place.
bool ChangeIndexEntry(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    IndexRoot root;
    if (!FindIndexRoot(rec, layout, c.recordOff, root)) return false;
    const uint64_t pos = uint64_t{c.recordOff} + c.attrOff;
    uint32_t length = 0;
    if (!FindEntry(rec, root, pos, length)) return false;
    const uint8_t* e = rec.data() + pos;
    const size_t n = c.data.size();
    uint64_t where = 0;
    switch (c.undoOperation) {
        case kSetIndexEntryVcnRoot:
            if (n != index::kSubNodeVcnSize ||
                !(Load16(e + index::kEntryFlags) & index::kEntrySubNode))
                return false;
            where = length - index::kSubNodeVcnSize;
            break;
        case kUpdateFileNameRoot:
            if (n > filename::kDuplicatedSize ||
                Load16(e + index::kKeyLength) < filename::kDuplicated + n)
                return false;
            where = index::kKey + filename::kDuplicated;
            break;
        default:  // kUpdateRecordDataRoot
            if (n > Load16(e + index::kDataLength)) return false;
            where = Load16(e + index::kDataOffset);
            break;
    }
    if (where + n > length) return false;
    CopyBytes(rec.data() + pos + where, c.data.data(), n);
    return true;
}

bool PlainWrite(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    const uint64_t p = uint64_t{c.recordOff} + c.attrOff;
    if (p < layout.firstAttribute || p + c.data.size() > layout.bytesInUse) return false;
    CopyBytes(rec.data() + p, c.data.data(), c.data.size());
    return true;
}

bool Apply(std::vector<uint8_t>& rec, Layout& layout, const RecordChange& c) {
    switch (c.undoOperation) {
        case kCreateAttribute: return InsertAttribute(rec, layout, c);
        case kDeleteAttribute: return RemoveAttribute(rec, layout, c);
        case kUpdateResidentValue: return ChangeResidentValue(rec, layout, c);
        case kUpdateMappingPairs: return ChangeMappingPairs(rec, layout, c);
        case kSetNewAttributeSizes: return SetAttributeSizes(rec, layout, c);
        case kWriteEndOfFileRecordSegment: return WriteEndOfRecord(rec, layout, c);
        case kAddIndexEntryRoot: return InsertIndexEntry(rec, layout, c);
        case kDeleteIndexEntryRoot: return RemoveIndexEntry(rec, layout, c);
        case kSetIndexEntryVcnRoot:
        case kUpdateFileNameRoot:
        case kUpdateRecordDataRoot: return ChangeIndexEntry(rec, layout, c);
        case kPlainWrite: return PlainWrite(rec, layout, c);
        default: return false;
    }
}

// Puts the update sequence back: the last word of every protected block goes to the array and
// the update sequence number takes its place, as NTFS writes a record.
void Protect(std::vector<uint8_t>& rec) {
    const uint32_t usaOffset = Load16(rec.data() + record::kUsaOffset);
    const uint32_t usaCount = Load16(rec.data() + record::kUsaCount);
    if (usaCount < 2) return;
    const uint16_t number = Load16(rec.data() + usaOffset);
    const size_t blocks = std::min<size_t>(usaCount - 1u, rec.size() / kFixupStride);
    for (size_t i = 0; i < blocks; ++i) {
        uint8_t* end = rec.data() + (i + 1) * kFixupStride - 2;
        Store16(rec.data() + usaOffset + 2 + 2 * i, Load16(end));
        Store16(end, number);
    }
}

}  // namespace

UndoResult UndoIntoImage(std::vector<uint8_t>& image, const RecordChange& change) {
    const uint16_t op = change.undoOperation;
    if (op != kPlainWrite && !ChangesFileRecord(op)) return UndoResult::kNothingToDo;
    if (op == kInitializeFileRecordSegment || op == kDeallocateFileRecordSegment)
        return UndoResult::kNothingToDo;
    if (image.size() < record::kHeaderSize) return UndoResult::kDropped;
    std::vector<uint8_t> rec = image;
    const FixupResult fixups = ApplyFixups(rec);
    if (fixups.arrayOutside) return UndoResult::kDropped;
    // The array must end before the first block end, or protecting the record again would
    // overwrite it.
    if (Load16(rec.data() + record::kUsaOffset) + 2u * Load16(rec.data() + record::kUsaCount) >
        kFixupStride - 2)
        return UndoResult::kDropped;
    Layout layout;
    if (!Walk(rec, layout)) return UndoResult::kDropped;
    // The array must also lie between the header and the attributes: protecting the record again
    // rewrites it, and must not rewrite a header field or an attribute's bytes.
    const uint32_t usaStart = Load16(rec.data() + record::kUsaOffset);
    const uint32_t usaEnd = usaStart + 2u * Load16(rec.data() + record::kUsaCount);
    if (usaStart < kHeaderFieldsEnd || usaEnd > layout.firstAttribute) return UndoResult::kDropped;
    if (!Apply(rec, layout, change)) return UndoResult::kDropped;
    Layout after;
    if (!Walk(rec, after)) return UndoResult::kDropped;
    Protect(rec);
    image.swap(rec);
    return UndoResult::kApplied;
}

bool IsSoundRecordImage(ByteSpan image) {
    std::vector<uint8_t> rec(image.begin(), image.end());
    if (rec.size() < record::kHeaderSize || ApplyFixups(rec).arrayOutside) return false;
    Layout layout;
    return Walk(rec, layout);
}

}  // namespace qv
