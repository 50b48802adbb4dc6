#include "support/RecordBuilder.h"

#include <cstring>
#include <stdexcept>

#include "ntfs/AttributeLayout.h"
#include "ntfs/AttributeListLayout.h"
#include "ntfs/FileNameLayout.h"
#include "ntfs/Fixup.h"
#include "ntfs/RecordHeader.h"
#include "support/Bytes.h"

namespace qv::test {

namespace {

size_t Align8(size_t v) {
    return (v + 7) & ~size_t{7};
}

// Bytes needed to hold v as a signed little-endian number.
size_t SignedWidth(int64_t v) {
    size_t n = 1;
    while (n < 8 && (v >> (8 * n - 1)) != 0 && (v >> (8 * n - 1)) != -1)
        ++n;
    return n;
}
size_t UnsignedWidth(uint64_t v) {
    size_t n = 1;
    while (n < 8 && (v >> (8 * n)) != 0)
        ++n;
    return n;
}

std::vector<uint8_t> AttributeHeader(uint32_t type, bool nonResident, const std::u16string& name,
                                     uint16_t flags, uint16_t id, size_t headerSize) {
    std::vector<uint8_t> a(headerSize, 0);
    Put(a, attribute::kType, type, 4);
    a[attribute::kNonResident] = nonResident ? 1 : 0;
    a[attribute::kNameLength] = static_cast<uint8_t>(name.size());
    Put(a, attribute::kNameOffset, headerSize, 2);
    Put(a, attribute::kFlags, flags, 2);
    Put(a, attribute::kId, id, 2);
    for (size_t i = 0; i < name.size(); ++i)
        Put(a, headerSize + 2 * i, name[i], 2);
    return a;
}

}  // namespace

std::vector<uint8_t> EncodeMappingPairs(const std::vector<RunSpec>& runs) {
    std::vector<uint8_t> out;
    int64_t previous = 0;
    for (const RunSpec& r : runs) {
        const size_t l = UnsignedWidth(r.length);
        size_t o = 0;
        int64_t delta = 0;
        if (r.lcn != 0) {
            delta = static_cast<int64_t>(r.lcn) - previous;
            o = SignedWidth(delta);
            previous = static_cast<int64_t>(r.lcn);
        }
        out.push_back(static_cast<uint8_t>(l | (o << 4)));
        Put(out, out.size(), r.length, l);
        Put(out, out.size(), static_cast<uint64_t>(delta), o);
    }
    out.push_back(0);
    return out;
}

std::vector<uint8_t> EncodeAttributeList(const std::vector<ListEntrySpec>& entries) {
    std::vector<uint8_t> out;
    for (const ListEntrySpec& e : entries) {
        const size_t start = out.size();
        const size_t length = Align8(attrlist::kHeadSize + 2 * e.name.size());
        out.resize(start + length, 0);
        Put(out, start + attrlist::kType, e.type, 4);
        Put(out, start + attrlist::kLength, length, 2);
        out[start + attrlist::kNameLength] = static_cast<uint8_t>(e.name.size());
        out[start + attrlist::kNameOffset] = attrlist::kHeadSize;
        Put(out, start + attrlist::kStartingVcn, e.startingVcn, 8);
        Put(out, start + attrlist::kSegmentReference, e.segmentReference, 8);
        Put(out, start + attrlist::kAttributeId, e.attributeId, 2);
        for (size_t i = 0; i < e.name.size(); ++i)
            Put(out, start + attrlist::kHeadSize + 2 * i, e.name[i], 2);
    }
    return out;
}

RecordBuilder& RecordBuilder::Resident(uint32_t type, const std::vector<uint8_t>& value,
                                       const std::u16string& name, uint16_t flags) {
    std::vector<uint8_t> a =
        AttributeHeader(type, false, name, flags, nextId_++, attribute::kResidentHeaderSize);
    const size_t valueOffset = Align8(a.size());
    a.resize(valueOffset, 0);
    Put(a, attribute::kValueLength, value.size(), 4);
    Put(a, attribute::kValueOffset, valueOffset, 2);
    a.insert(a.end(), value.begin(), value.end());
    a.resize(Align8(a.size()), 0);
    Put(a, attribute::kLength, a.size(), 4);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::FileName(uint64_t parentReference, const std::u16string& name,
                                       uint8_t nameSpace, uint64_t created, uint64_t modified,
                                       uint64_t accessed) {
    std::vector<uint8_t> v(filename::kName + 2 * name.size(), 0);
    Put(v, filename::kParentReference, parentReference, 8);
    Put(v, filename::kCreationTime, created, 8);
    Put(v, filename::kModificationTime, modified, 8);
    Put(v, filename::kChangeTime, modified, 8);
    Put(v, filename::kAccessTime, accessed, 8);
    v[filename::kNameLength] = static_cast<uint8_t>(name.size());
    v[filename::kNameSpace] = nameSpace;
    for (size_t i = 0; i < name.size(); ++i)
        Put(v, filename::kName + 2 * i, name[i], 2);
    return Resident(kAttrFileName, v);
}

RecordBuilder& RecordBuilder::ResidentData(const std::vector<uint8_t>& value,
                                           const std::u16string& name, uint16_t flags) {
    return Resident(kAttrData, value, name, flags);
}

RecordBuilder& RecordBuilder::NonResidentData(const std::vector<RunSpec>& runs, uint64_t dataSize,
                                              const std::u16string& name, uint64_t lowestVcn,
                                              uint16_t compressionUnit, uint16_t flags,
                                              int64_t initialized) {
    std::vector<uint8_t> a =
        AttributeHeader(kAttrData, true, name, flags, nextId_++, attribute::kNonResidentHeaderSize);
    uint64_t clusters = 0;
    for (const RunSpec& r : runs)
        clusters += r.length;
    Put(a, attribute::kLowestVcn, lowestVcn, 8);
    Put(a, attribute::kHighestVcn, clusters ? lowestVcn + clusters - 1 : 0, 8);
    Put(a, attribute::kCompressionUnit, compressionUnit, 2);
    if (lowestVcn == 0) {
        Put(a, attribute::kAllocatedSize, clusters * 4096, 8);
        Put(a, attribute::kDataSize, dataSize, 8);
        Put(a, attribute::kInitializedSize,
            initialized < 0 ? dataSize : static_cast<uint64_t>(initialized), 8);
    }
    const size_t pairsOffset = Align8(a.size());
    a.resize(pairsOffset, 0);
    Put(a, attribute::kPairsOffset, pairsOffset, 2);
    const std::vector<uint8_t> pairs = EncodeMappingPairs(runs);
    a.insert(a.end(), pairs.begin(), pairs.end());
    a.resize(Align8(a.size()), 0);
    Put(a, attribute::kLength, a.size(), 4);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::ResidentAttributeList(const std::vector<ListEntrySpec>& entries) {
    return Resident(kAttrAttributeList, EncodeAttributeList(entries));
}

RecordBuilder& RecordBuilder::Raw(const std::vector<uint8_t>& attribute) {
    attributes_.push_back(attribute);
    ++nextId_;
    return *this;
}

std::vector<uint8_t> RecordBuilder::Build() const {
    std::vector<uint8_t> r(recordSize_, 0);
    std::memcpy(r.data() + record::kSignature, "FILE", 4);
    const uint16_t usaOffset = record::kHeaderSize;
    const uint16_t usaCount = static_cast<uint16_t>(recordSize_ / kFixupStride + 1);
    Put(r, record::kUsaOffset, usaOffset, 2);
    Put(r, record::kUsaCount, usaCount, 2);
    Put(r, record::kLsn, lsn_, 8);
    Put(r, record::kSequence, sequence_, 2);
    Put(r, record::kLinkCount, 1, 2);
    const size_t first = Align8(usaOffset + 2 * usaCount);
    Put(r, record::kFirstAttribute, first, 2);
    Put(r, record::kFlags, flags_, 2);
    Put(r, record::kBytesAllocated, recordSize_, 4);
    Put(r, record::kBaseReference, base_, 8);
    Put(r, record::kNextAttributeId, nextId_, 2);
    Put(r, record::kRecordNumber, number_, 4);
    size_t at = first;
    for (const auto& a : attributes_) {
        if (at + a.size() + 8 > recordSize_) throw std::length_error("attributes overflow record");
        std::memcpy(r.data() + at, a.data(), a.size());
        at += a.size();
    }
    Put(r, at, kAttrEnd, 4);
    Put(r, record::kBytesInUse, Align8(at + 8), 4);
    // Protect every 512-byte block: save its last word, put the update sequence number there.
    Put(r, usaOffset, usn_, 2);
    for (uint32_t i = 0; i < recordSize_ / kFixupStride; ++i) {
        const size_t end = (i + 1) * kFixupStride - 2;
        std::memcpy(r.data() + usaOffset + 2 + 2 * i, r.data() + end, 2);
        Put(r, end, usn_, 2);
    }
    return r;
}

}  // namespace qv::test
