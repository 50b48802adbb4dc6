#include "support/ContentSha.h"

#include "app/ProgressDialog.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/ByteSink.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/Sha256.h"

namespace qv::test {

std::string ContentSha(ScanSession& session, const FileRecord& record, const std::string& stream) {
    MemorySink sink;
    ProgressDialog progress;
    Result<Copied> copied = Copied::kWhole;
    if (stream.empty()) {
        copied = CopyRecordData(sink, record, session.Reader(), progress);
    } else {
        const RunList* s = record.FindStream(FromUtf8(stream));
        if (s == nullptr) return "no stream " + stream;
        copied = CopyTo(*s, session.Reader(), sink, progress);
    }
    if (!copied) return "copy failed: " + copied.error().Text();
    return Sha256Hex(sink.bytes);
}

}  // namespace qv::test
