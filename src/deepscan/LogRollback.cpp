// Undoing one transaction through the record store.
#include <algorithm>

#include "deepscan/ChangeSink.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"

namespace qv {

namespace {

using namespace logfmt;

// Records 0 to 23 are the volume's own metadata files: never a deleted file's record.
constexpr uint64_t kFirstUserRecord = 24;

}  // namespace

uint64_t LogRecordStore::TargetRecordNumber(ByteSpan record, uint32_t clusterSize,
                                            uint32_t recordSize) {
    if (record.size() < kChangeHeaderEnd || recordSize == 0) return UINT64_MAX;
    const uint64_t vcn = Load64(record.data() + kTargetVcn);
    const uint64_t block =
        uint64_t{Load16(record.data() + kClusterBlockOffset)} * kClusterBlockSize;
    uint64_t offset = 0;
    if (__builtin_mul_overflow(vcn, uint64_t{clusterSize}, &offset) ||
        __builtin_add_overflow(offset, block, &offset))
        return UINT64_MAX;
    return offset / recordSize;
}

std::optional<int> LogRecordStore::Rollback(uint64_t lsn) {
    uint64_t position = 0;
    std::optional<std::vector<uint8_t>> record = Fetch(lsn, position);
    if (!record) return std::nullopt;
    int delivered = 0;
    uint64_t current = lsn;
    // Each step goes to an older record; a chain can be no longer than the index.
    for (size_t steps = RecordCount(); record && steps > 0; --steps) {
        const std::vector<uint8_t>& r = *record;
        if (r.size() >= kChangeHeaderEnd && Load32(r.data() + kRecordType) == kClientRecord &&
            ChangesFileRecord(Load16(r.data() + kUndoOperation))) {
            const uint64_t target = TargetRecordNumber(r);
            if (target >= kFirstUserRecord && target != UINT64_MAX && sink_ != nullptr) {
                RecordChange change;
                change.lsn = current;
                change.recordNumber = target;
                change.redoOperation = Load16(r.data() + kRedoOperation);
                change.undoOperation = Load16(r.data() + kUndoOperation);
                change.recordOff = Load16(r.data() + kRecordOffset);
                change.attrOff = Load16(r.data() + kAttributeOffset);
                change.redoLength = Load16(r.data() + kRedoLength);
                // The undo data lies in the client data; what would run past the record is cut.
                const uint64_t from = uint64_t{kRedoOperation} + Load16(r.data() + kUndoOffset);
                const uint64_t available = from < r.size() ? r.size() - from : 0;
                const uint64_t length =
                    std::min<uint64_t>(Load16(r.data() + kUndoLength), available);
                change.data = length > 0 ? ByteSpan(r.data() + from, length) : ByteSpan();
                change.delta =
                    static_cast<int32_t>(length) - static_cast<int32_t>(change.redoLength);
                sink_->ApplyRecordChange(change);
                ++delivered;
            }
        }
        // The undo-next LSN is the previous record of the transaction, except after records
        // that compensate an undo: there it skips what the transaction had undone already.
        const uint64_t next = Load64(r.data() + kUndoNextLsn);
        if (next == 0 || next >= current) break;  // the transaction's first record, or damage
        current = next;
        record = Fetch(current, position);
    }
    return delivered;
}

}  // namespace qv
