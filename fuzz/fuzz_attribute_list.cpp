// ParseAttributeList on a hostile $ATTRIBUTE_LIST value.
//
// Input: the list value as it lies in a record or in its clusters.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "ntfs/AttributeList.h"

using namespace qv;

QV_FUZZ_DEFAULT_FLAGS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly sized copy: a read past the value is an ASan report.
    const std::vector<uint8_t> value(data, data + size);

    std::vector<AttributeListEntry> entries;
    const bool whole = ParseAttributeList(value, entries);

    // The entries tile the value from its start: each at least a head long, none past the end;
    // a list parsed whole ends exactly at the value's end.
    size_t at = 0;
    for (const AttributeListEntry& e : entries) {
        QV_FUZZ_CHECK(e.length >= AttributeListEntry::kHeadSize);
        QV_FUZZ_CHECK(Fits(value.size(), at, e.length));
        const uint8_t* entry = value.data() + at;
        QV_FUZZ_CHECK(e.type == Load32(entry + attrlist::kType));
        QV_FUZZ_CHECK(e.length == Load16(entry + attrlist::kLength));
        QV_FUZZ_CHECK(e.startingVcn == Load64(entry + attrlist::kStartingVcn));
        QV_FUZZ_CHECK(e.segmentReference == Load64(entry + attrlist::kSegmentReference));
        QV_FUZZ_CHECK(e.attributeId == Load16(entry + attrlist::kAttributeId));
        // A name is the one the entry gives, or absent when it does not fit the entry.
        const uint8_t nameLength = entry[attrlist::kNameLength];
        const uint8_t nameOffset = entry[attrlist::kNameOffset];
        QV_FUZZ_CHECK(e.name.empty() || e.name.size() == nameLength);
        for (size_t i = 0; i < e.name.size(); ++i) {
            QV_FUZZ_CHECK(nameOffset + 2 * i + 2 <= e.length);
            QV_FUZZ_CHECK(e.name[i] == Load16(entry + nameOffset + 2 * i));
        }
        volatile uint64_t sink = e.SegmentRecordNumber();
        (void)sink;
        at += e.length;
    }
    if (whole)
        QV_FUZZ_CHECK(at == value.size());
    else
        QV_FUZZ_CHECK(at < value.size());

    // Appending to a list that has entries already leaves them alone.
    std::vector<AttributeListEntry> more(1);
    more[0].length = 7;
    QV_FUZZ_CHECK(ParseAttributeList(value, more) == whole);
    QV_FUZZ_CHECK(more.size() == entries.size() + 1 && more[0].length == 7);
    return 0;
}
