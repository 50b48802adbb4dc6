#include "support/RecordBuilder.h"

#include <cstring>
#include <stdexcept>

namespace qv::test {

namespace {

void Put(std::vector<uint8_t>& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t Align8(size_t v) {
    return (v + 7) & ~size_t{7};
}

// Bytes needed to hold v as a signed little-endian number.
size_t SignedWidth(int64_t v) {
    for (size_t n = 1; n < 8; ++n) {
        const int64_t lo = -(int64_t{1} << (8 * n - 1));
        const int64_t hi = (int64_t{1} << (8 * n - 1)) - 1;
        if (v >= lo && v <= hi) return n;
    }
    return 8;
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
    Put(a, 0, type, 4);
    a[8] = nonResident ? 1 : 0;
    a[9] = static_cast<uint8_t>(name.size());
    Put(a, 0x0A, headerSize, 2);
    Put(a, 0x0C, flags, 2);
    Put(a, 0x0E, id, 2);
    for (char16_t c : name) {
        a.push_back(static_cast<uint8_t>(c));
        a.push_back(static_cast<uint8_t>(c >> 8));
    }
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
        for (size_t i = 0; i < l; ++i)
            out.push_back(static_cast<uint8_t>(r.length >> (8 * i)));
        for (size_t i = 0; i < o; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(delta) >> (8 * i)));
    }
    out.push_back(0);
    return out;
}

std::vector<uint8_t> EncodeAttributeList(const std::vector<ListEntrySpec>& entries) {
    std::vector<uint8_t> out;
    for (const ListEntrySpec& e : entries) {
        const size_t start = out.size();
        const size_t length = Align8(0x1A + 2 * e.name.size());
        out.resize(start + length, 0);
        Put(out, start + 0, e.type, 4);
        Put(out, start + 4, length, 2);
        out[start + 6] = static_cast<uint8_t>(e.name.size());
        out[start + 7] = 0x1A;
        Put(out, start + 8, e.startingVcn, 8);
        Put(out, start + 0x10, e.segmentReference, 8);
        Put(out, start + 0x18, e.attributeId, 2);
        for (size_t i = 0; i < e.name.size(); ++i)
            Put(out, start + 0x1A + 2 * i, e.name[i], 2);
    }
    return out;
}

RecordBuilder& RecordBuilder::Resident(uint32_t type, const std::vector<uint8_t>& value,
                                       const std::u16string& name, uint16_t flags) {
    std::vector<uint8_t> a = AttributeHeader(type, false, name, flags, nextId_++, 0x18);
    const size_t valueOffset = Align8(a.size());
    a.resize(valueOffset, 0);
    Put(a, 0x10, value.size(), 4);
    Put(a, 0x14, valueOffset, 2);
    a.insert(a.end(), value.begin(), value.end());
    a.resize(Align8(a.size()), 0);
    Put(a, 4, a.size(), 4);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::FileName(uint64_t parentReference, const std::u16string& name,
                                       uint8_t nameSpace, uint64_t created, uint64_t modified,
                                       uint64_t accessed) {
    std::vector<uint8_t> v(0x42 + 2 * name.size(), 0);
    Put(v, 0x00, parentReference, 8);
    Put(v, 0x08, created, 8);
    Put(v, 0x10, modified, 8);
    Put(v, 0x18, modified, 8);
    Put(v, 0x20, accessed, 8);
    v[0x40] = static_cast<uint8_t>(name.size());
    v[0x41] = nameSpace;
    for (size_t i = 0; i < name.size(); ++i)
        Put(v, 0x42 + 2 * i, name[i], 2);
    return Resident(0x30, v);
}

RecordBuilder& RecordBuilder::ResidentData(const std::vector<uint8_t>& value,
                                           const std::u16string& name, uint16_t flags) {
    return Resident(0x80, value, name, flags);
}

RecordBuilder& RecordBuilder::NonResidentData(const std::vector<RunSpec>& runs, uint64_t dataSize,
                                              const std::u16string& name, uint64_t lowestVcn,
                                              uint16_t compressionUnit, uint16_t flags,
                                              int64_t initialized) {
    std::vector<uint8_t> a = AttributeHeader(0x80, true, name, flags, nextId_++, 0x40);
    uint64_t clusters = 0;
    for (const RunSpec& r : runs)
        clusters += r.length;
    Put(a, 0x10, lowestVcn, 8);
    Put(a, 0x18, clusters ? lowestVcn + clusters - 1 : 0, 8);
    Put(a, 0x22, compressionUnit, 2);
    if (lowestVcn == 0) {
        Put(a, 0x28, clusters * 4096, 8);
        Put(a, 0x30, dataSize, 8);
        Put(a, 0x38, initialized < 0 ? dataSize : static_cast<uint64_t>(initialized), 8);
    }
    const size_t pairsOffset = Align8(a.size());
    a.resize(pairsOffset, 0);
    Put(a, 0x20, pairsOffset, 2);
    const std::vector<uint8_t> pairs = EncodeMappingPairs(runs);
    a.insert(a.end(), pairs.begin(), pairs.end());
    a.resize(Align8(a.size()), 0);
    Put(a, 4, a.size(), 4);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::ResidentAttributeList(const std::vector<ListEntrySpec>& entries) {
    return Resident(0x20, EncodeAttributeList(entries));
}

RecordBuilder& RecordBuilder::NonResidentAttributeList(const std::vector<RunSpec>& runs,
                                                       uint64_t dataSize) {
    NonResidentData(runs, dataSize);
    Put(attributes_.back(), 0, 0x20, 4);
    return *this;
}

RecordBuilder& RecordBuilder::Raw(const std::vector<uint8_t>& attribute) {
    attributes_.push_back(attribute);
    ++nextId_;
    return *this;
}

std::vector<uint8_t> RecordBuilder::Build() const {
    std::vector<uint8_t> r(recordSize_, 0);
    std::memcpy(r.data(), "FILE", 4);
    const uint16_t usaOffset = 0x30;
    const uint16_t usaCount = static_cast<uint16_t>(recordSize_ / 512 + 1);
    Put(r, 0x04, usaOffset, 2);
    Put(r, 0x06, usaCount, 2);
    Put(r, 0x08, lsn_, 8);
    Put(r, 0x10, sequence_, 2);
    Put(r, 0x12, 1, 2);
    const size_t first = Align8(usaOffset + 2 * usaCount);
    Put(r, 0x14, first, 2);
    Put(r, 0x16, flags_, 2);
    Put(r, 0x1C, recordSize_, 4);
    Put(r, 0x20, base_, 8);
    Put(r, 0x28, nextId_, 2);
    Put(r, 0x2C, number_, 4);
    size_t at = first;
    for (const auto& a : attributes_) {
        if (at + a.size() + 8 > recordSize_) throw std::length_error("attributes overflow record");
        std::memcpy(r.data() + at, a.data(), a.size());
        at += a.size();
    }
    Put(r, at, 0xFFFFFFFFu, 4);
    Put(r, 0x18, Align8(at + 8), 4);
    // Protect every 512-byte block: save its last word, put the update sequence number there.
    Put(r, usaOffset, usn_, 2);
    for (uint32_t i = 0; i < recordSize_ / 512; ++i) {
        const size_t end = (i + 1) * 512 - 2;
        r[usaOffset + 2 + 2 * i] = r[end];
        r[usaOffset + 3 + 2 * i] = r[end + 1];
        Put(r, end, usn_, 2);
    }
    return r;
}

}  // namespace qv::test
