#include "app/RecordInPlace.h"

#include <vector>

#include "deepscan/DeletedFileImages.h"
#include "ntfs/FileRecord.h"
#include "scan/ScanSession.h"

namespace qv {

Result<std::unique_ptr<FileRecord>> ReadFileInPlace(ScanSession& session, uint64_t number) {
    const std::string which = "record " + std::to_string(number);
    if (number >= session.RecordCount())
        return Error(kErrBadValue, which + " is past the end of the $MFT (it has " +
                                       std::to_string(session.RecordCount()) + " records)");
    try {
        std::vector<uint8_t> image;
        if (Status read = session.ReadRecord(number, image); !read) return read.error();
        DeletedFileImages file;
        if (Status set = file.SetBaseImage(number, image); !set) return set.error();
        auto record = file.BuildFileRecord(session.ClusterSize(), &session.Reader());
        if (!record) return Error(kErrRead, which + " holds no file: it is unused or unreadable");
        if (!record->IsBaseRecord())
            return Error(kErrBadValue,
                         which + " is an extension of record " +
                             std::to_string(record->BaseReference() & 0xFFFFFFFFFFFF) +
                             ", not a file's own record");
        if (record->IsDirectory()) return Error(kErrBadValue, which + " is a folder, not a file");
        // Attributes that did not fit lie in extension records the attribute list names.
        bool extended = false;
        std::vector<uint8_t> extension;
        for (size_t i = 0; i < record->AttributeListCount(); ++i) {
            const uint64_t segment = record->GetAttributeListEntry(i)->SegmentRecordNumber();
            if (segment == number || file.Extensions().count(segment) ||
                segment >= session.RecordCount() || !session.ReadRecord(segment, extension))
                continue;
            if (Status added = file.AddExtension(segment, extension); !added) return added.error();
            extended = true;
        }
        if (!extended) return record;
        if (auto built = file.BuildFileRecord(session.ClusterSize(), &session.Reader()))
            return built;
        return Error(kErrRead, which + " cannot be parsed with its extension records");
    } catch (const CMyException& e) {
        return e.GetError();
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
}

}  // namespace qv
