// The rollback side of DeletedFileImages.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "deepscan/DeletedFileImages.h"
#include "deepscan/ImageChange.h"
#include "deepscan/LogFormat.h"
#include "ntfs/RecordHeader.h"
#include "platform/Trace.h"

namespace qv {

namespace {

void TraceChange(const RecordImage& image, const RecordChange& c) {
    // Most runs trace nothing: do not format the line for nobody.
    const char* dir = std::getenv("QUORVANE_TRACE_DIR");
    if (dir == nullptr || *dir == '\0') return;
    char line[160];
    std::snprintf(line, sizeof line,
                  "buf = %p   data = %p   recordOff =%" PRIx32 "  attrOff = %" PRIx32
                  "   dataLen = %zx\n",
                  static_cast<const void*>(&image), static_cast<const void*>(c.data.data()),
                  c.recordOff, c.attrOff, c.data.size());
    AppendTraceLine("lsn.r", line);
}

}  // namespace

RecordImage* FindTargetImage(DeletedFileImages& file, uint64_t recordNumber) {
    if (RecordImage* base = file.Base(); base != nullptr && base->recordNumber == recordNumber)
        return base;
    auto& extensions = file.Extensions();
    const auto it = extensions.find(recordNumber);
    return it != extensions.end() ? it->second.get() : nullptr;
}

UndoResult ApplyToFileImages(DeletedFileImages& file, const RecordChange& change) {
    RecordImage* image = FindTargetImage(file, change.recordNumber);
    if (image == nullptr) return UndoResult::kNothingToDo;
    TraceChange(*image, change);
    const UndoResult result = UndoIntoImage(image->image, change);
    if (result == UndoResult::kApplied && image->image.size() >= record::kLsn + 8 &&
        Load64(image->image.data() + record::kLsn) == image->lsn)
        image->done = true;
    return result;
}

// The newest image not yet taken: the base image wins ties, then the lowest record number.
int DeletedFileImages::PopNewest(uint64_t& lsn, uint64_t& recordNumber) {
    RecordImage* candidate = base_.get();
    for (auto& [number, image] : extensions_) {
        if (image->done) continue;
        if (candidate == nullptr || candidate->done || candidate->lsn < image->lsn)
            candidate = image.get();
    }
    if (candidate == nullptr || candidate->done) {
        lsn = 0;
        recordNumber = 0;
        return 0;
    }
    candidate->done = true;
    lsn = candidate->lsn;
    recordNumber = candidate->recordNumber;
    return 0;
}

// The plain form: with both offsets set, a resident value that changes its length by delta;
// otherwise bytes written in place inside the attribute area. 1 when an image changed, else 0.
int DeletedFileImages::ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff,
                                   ByteSpan data, int32_t delta) {
    RecordChange change;
    change.recordNumber = recordNumber;
    change.recordOff = recordOff;
    change.attrOff = attrOff;
    change.data = data;
    change.delta = delta;
    if (recordOff != 0 && attrOff != 0) {
        const int64_t redo = static_cast<int64_t>(data.size()) - delta;
        if (redo < 0 || redo > UINT16_MAX) return 0;
        change.undoOperation = logfmt::kUpdateResidentValue;
        change.redoLength = static_cast<uint32_t>(redo);
    } else {
        change.undoOperation = kPlainWrite;
        change.redoLength = static_cast<uint32_t>(data.size());
    }
    return ApplyToFileImages(*this, change) == UndoResult::kApplied ? 1 : 0;
}

}  // namespace qv
