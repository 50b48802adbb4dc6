// The accessors through which the rest of the program reads a FileRecord.
#include "base/Error.h"
#include "ntfs/FileRecord.h"

namespace qv {

const FileNameSlot* FileRecord::PreferredName() const {
    // A long name wins over its 8.3 alias, and a short alias over a POSIX name.
    for (const FileNameSpace ns :
         {kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix}) {
        const FileNameSlot& slot = Slot(ns);
        if (slot.IsPresent()) return &slot;
    }
    return nullptr;
}

const FileNameSlot& FileRecord::Slot(FileNameSpace ns) const {
    static const FileNameSlot kEmpty;
    for (const FileNameSlot& slot : names_)
        if (slot.nameSpace == ns) return slot;
    return kEmpty;
}

std::u16string FileRecord::GetName() const {
    const FileNameSlot* slot = PreferredName();
    return slot ? slot->name : std::u16string();
}

uint32_t FileRecord::GetParent() const {
    const FileNameSlot* slot = PreferredName();
    return slot ? static_cast<uint32_t>(slot->parentReference) : 0xFFFFFFFFu;
}

uint64_t FileRecord::GetParentReference() const {
    const FileNameSlot* slot = PreferredName();
    return slot ? slot->parentReference : 0;
}

int FileRecord::GetTimes(CTime& created, CTime& modified, CTime& accessed) const {
    const FileNameSlot* slot = PreferredName();
    if (slot == nullptr) return kErrNoFileName;
    created = CTime::FromFileTime(slot->creationTime);
    modified = CTime::FromFileTime(slot->modificationTime);
    accessed = CTime::FromFileTime(slot->accessTime);
    return 0;
}

const RunList* FileRecord::GetDataStream(size_t i) const {
    return i < streams_.size() ? streams_[i].get() : nullptr;
}

const RunList* FileRecord::FindStream(const std::u16string& name) const {
    for (const auto& s : streams_)
        if (s->Name() == name) return s.get();
    return nullptr;
}

uint64_t FileRecord::TotalDataSize(uint32_t clusterSize) const {
    const RunList* content = UnnamedStream();
    return content ? content->TotalSize(clusterSize) : 0;
}

const AttributeListEntry* FileRecord::GetAttributeListEntry(size_t i) const {
    return i < attributeList_.size() ? &attributeList_[i] : nullptr;
}

}  // namespace qv
