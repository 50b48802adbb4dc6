#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Error.h"
#include "deepscan/DeletedFileImages.h"
#include "platform/ByteSource.h"
#include "scan/DeletedFile.h"
#include "scan/RecordSnapshot.h"

namespace qv {

class ClusterBitmap;
class FileRecord;
class LogRecordStore;
class Progress;
struct Source;
class VolumeReader;

struct ScanOptions {
    // Also roll deleted files' records back through the volume's $LogFile.
    bool advanced = true;
    // How the volume is named in log lines ("C:").
    std::u16string volumeName = u"C:";
};

// One scan of one volume. Opening it opens the volume and its $MFT, whose records are read where
// they lie, and for the advanced scan indexes the records of the $LogFile into a private
// temporary file ("NRG"). Afterwards it finds the deleted files, keeps their records as found
// in a second one ("NRM"), and stays the store a recovery (or a preview) builds each chosen
// file from, with the volume open.
class ScanSession {
public:
    // Opens the source and prepares the scan. Stop during the copies is no failure: the session
    // is returned and the progress says it was cancelled.
    static Result<std::unique_ptr<ScanSession>> Open(const Source& source,
                                                     const ScanOptions& options,
                                                     Progress& progress);
    static Result<std::unique_ptr<ScanSession>> Open(std::unique_ptr<VolumeReader> reader,
                                                     const ScanOptions& options,
                                                     Progress& progress);
    // On a $MFT that was extracted before (a raw $MFT file, opened read-only), with reader
    // standing for the volume it came from: for looking at $MFT extracts without their volume.
    static Result<std::unique_ptr<ScanSession>> OpenExtract(std::unique_ptr<VolumeReader> reader,
                                                            const std::u16string& mftExtract);
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // Walks the copy from record 24, rolls deleted files back through the log (advanced scan),
    // and delivers one DeletedFile per deleted file to sink, in ascending record number. Fails
    // when the copy cannot be read or memory runs out; nothing delivered then is the whole list.
    Status FindDeletedFiles(DeletedFileSink& sink, Progress& progress);

    // The file of a deleted base record, as the scan built it (rolled back, where the advanced
    // scan kept that): its names, streams and runs, for a recovery or a preview. A recovery's
    // second thread passes its own reader: once the scan is done, two threads may load files
    // at once when each reads the volume through a reader of its own.
    Result<std::unique_ptr<FileRecord>> LoadFile(uint64_t record, VolumeReader* reader = nullptr);

    // Reads record n of the $MFT (no fixups applied) into buffer, resized to the record size;
    // kErrRead when the record cannot be read whole.
    Status ReadRecord(uint64_t number, std::vector<uint8_t>& buffer);

    // The folder path of a file whose name's parent reference is parentReference, climbed
    // through the parents' records: rooted when the climb reaches the root, else partial. An
    // error when a parent's record cannot be read (the path so far is kept in *folder).
    Status FolderOf(uint64_t parentReference, FolderPath* folder, bool* rooted);

    VolumeReader& Reader() { return *reader_; }
    const ScanOptions& Options() const { return options_; }
    uint32_t RecordSize() const { return recordSize_; }
    uint32_t ClusterSize() const { return clusterSize_; }
    uint64_t RecordCount() const { return recordsLength_ / recordSize_; }

private:
    explicit ScanSession(std::unique_ptr<VolumeReader> reader);
    void Prepare(Progress& progress);
    void OpenMft();
    void PrepareLog(Progress& progress);
    Status CollectCandidates(DeletedFileMap& files, Progress& progress);
    DeletedFile Describe(const FileRecord& record);
    void OpenBitmap();

    // What the path climb needs of a folder record.
    struct Folder {
        bool readable = false;  // read and parsed from the copy
        bool usable = false;    // an in-use or deleted folder, a base record
        uint16_t sequence = 0;
        bool inUse = false;
        bool hasName = false;
        uint64_t parentReference = 0;
        std::u16string name;
        Error error;  // why it is not readable
    };
    const Folder& LookUpFolder(uint64_t recordNumber);

    std::unique_ptr<VolumeReader> reader_;
    ScanOptions options_;
    std::unique_ptr<FileRecord> mft_;      // record 0: where the $MFT's records lie
    std::unique_ptr<ByteSource> records_;  // the $MFT's bytes (or an extract of them)
    std::unique_ptr<ByteSource> walk_;     // the same for the walk in order (null: records_)
    uint64_t recordsLength_ = 0;           // how many of them can be read
    uint32_t recordSize_ = 1024;
    uint32_t clusterSize_ = 4096;
    std::unique_ptr<LogRecordStore> logRecordStore_;
    std::unordered_map<uint64_t, Folder> folders_;
    // Each folder's path, keyed by the path above it and its record: files in one folder share
    // one chain.
    std::map<std::pair<const void*, uint64_t>, FolderPath> paths_;
    // The listed files' records as found: a recovery builds the files from these.
    RecordSnapshot snapshot_;
    // Files whose rolled-back images the advanced scan kept: a recovery builds them from these.
    std::map<uint64_t, std::unique_ptr<DeletedFileImages>> rolledBack_;
    // The allocation bitmap each listed file's clusters are judged against (null: unreadable).
    std::unique_ptr<ClusterBitmap> bitmap_;
};

}  // namespace qv
