// The folder path of a deleted file, climbed through its parents' records in the $MFT copy.
#include <unordered_set>

#include "ntfs/FileRecord.h"
#include "scan/ScanSession.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

constexpr uint64_t kRootFolder = 5;
constexpr uint64_t kFirstUserRecord = 24;
// No real tree is this deep; a longer climb is a loop through reused records.
constexpr int kMaxDepth = 1024;

}  // namespace

const ScanSession::Folder& ScanSession::LookUpFolder(uint64_t number) {
    // Many deleted files share folders: each folder record is read and parsed once per scan.
    if (const auto it = folders_.find(number); it != folders_.end()) return it->second;
    Folder folder;
    std::vector<uint8_t> image;
    const Status read = ReadRecord(number, image);
    if (!read) {
        folder.error = read.error();
    } else {
        FileRecord record;
        record.SetHeader(image);
        record.ParseFileNames(image, clusterSize_);
        {
            folder.readable = true;
            // Only base records that are folders are climbed; the in-use flag does not matter:
            // a deleted folder is climbed like a live one.
            folder.usable = HasFileSignature(image.data(), image.size()) && record.IsDirectory() &&
                            record.IsBaseRecord();
            folder.sequence = record.SequenceNumber();
            folder.inUse = record.IsInUse();
            folder.hasName = record.PreferredName() != nullptr;
            folder.parentReference = record.GetParentReference();
            folder.name = record.GetName();
        }
    }
    return folders_.emplace(number, std::move(folder)).first->second;
}

Status ScanSession::FolderOf(uint64_t parentReference, FolderPath* folder, bool* rooted) {
    std::vector<std::pair<uint64_t, const std::u16string*>> names;  // from the file upwards
    std::unordered_set<uint64_t> visited;
    uint64_t reference = parentReference;
    bool reachedRoot = false;
    Status result;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const uint64_t parent = RecordNumberOf(reference);
        if (parent == kRootFolder) {
            reachedRoot = true;
            break;
        }
        if (parent < kFirstUserRecord) break;       // $Extend and the like: a partial path
        if (!visited.insert(parent).second) break;  // a loop through reused records
        const Folder& found = LookUpFolder(parent);
        if (!found.readable) {
            result = found.error;
            break;
        }
        if (!found.usable) break;
        // NTFS increments a record's sequence number when it frees it. The reference names this
        // parent only while the record still has that sequence, or the next one with the folder
        // deleted; otherwise the record was reused by something the file was never in.
        const uint16_t expected = SequenceOf(reference);
        const bool same = found.sequence == expected ||
                          (found.sequence == static_cast<uint16_t>(expected + 1) && !found.inUse);
        if (expected != 0 && !same) break;
        names.emplace_back(parent, &found.name);
        if (!found.hasName) break;  // its own name is empty; nothing above it is known
        reference = found.parentReference;
    }
    // The chain from the top down, each folder's node made once per scan and shared by every
    // file below it. A rooted chain and a partial one of the same folders differ at the top.
    static const char kRootedTop = 0, kPartialTop = 0;
    FolderPath path;
    const void* above = reachedRoot ? static_cast<const void*>(&kRootedTop)
                                    : static_cast<const void*>(&kPartialTop);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        auto [slot, made] = paths_.try_emplace({above, it->first});
        if (made) slot->second = path.Child(*it->second);
        path = slot->second;
        above = path.Identity();
    }
    *folder = path;
    *rooted = reachedRoot;
    return result;
}

}  // namespace qv
