#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/File.h"
#include "scan/DeletedFileImages.h"

namespace qv {

class FileRecord;
class LogRecordStore;
class Progress;
class VolumeReader;

// One scan of one volume. Constructing it opens the volume, copies the whole $MFT into a private
// temporary file ("NRM"), and for the advanced scan indexes the records of the $LogFile, read
// where it lies, into a second one ("NRG"). Afterwards it is the store of MFT records for the
// collection of deleted files and for path reconstruction, and it keeps the volume open for the
// recovery. Every failure of the preparation is thrown as CMyException; Stop during the copies is
// not a failure.
class ScanSession {
public:
    ScanSession(char16_t driveLetter, bool advanced, Progress& progress);
    // On a volume already open (tests, tools).
    ScanSession(std::unique_ptr<VolumeReader> reader, bool advanced, Progress& progress);
    // On a $MFT that was extracted before (a raw $MFT file, opened read-only), with reader
    // standing for the volume it came from: for looking at $MFT extracts without their volume.
    ScanSession(std::unique_ptr<VolumeReader> reader, const std::u16string& mftExtract);
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // Reads record n of the $MFT copy (no fixups applied) into buffer, resized to the record
    // size. 0, or kErrRead when the copy does not hold the whole record.
    int ReadRecord(uint64_t number, std::vector<uint8_t>& buffer);

    // Walks the copy from record 24 and appends one FileRecord per deleted file, in ascending
    // record number. 0, kErrNoMemory, or kErrRead when the copy cannot be read (out then holds
    // a part of the files only).
    int FindDeletedFiles(std::vector<std::unique_ptr<FileRecord>>& out, bool advanced,
                         Progress& progress);

    // The folder path of a deleted file: "X:\A\B\" when the climb reaches the root, a partial
    // path ("A\B\") when it stops earlier. 0, -1 when the file has no name, or the code of the
    // first read that failed.
    int BuildPath(const FileRecord& file, std::u16string& path);

    VolumeReader& Reader() { return *reader_; }
    uint32_t RecordSize() const { return recordSize_; }
    uint32_t ClusterSize() const { return clusterSize_; }
    uint64_t RecordCount() const { return copyLength_ / recordSize_; }
    // Path of the $MFT copy (for tests: it must be gone after the session).
    const std::u16string& MftCopyPath() const { return mftCopy_.Path(); }

private:
    void Prepare(bool advanced, Progress& progress);
    void CopyMft(Progress& progress);
    void PrepareLog(Progress& progress);
    int CollectCandidates(DeletedFileMap& files, Progress& progress);

    // What the path climb needs of a folder record.
    struct Folder {
        bool readable = false;  // read and parsed from the copy
        bool usable = false;    // an in-use or deleted folder, a base record
        uint16_t sequence = 0;
        bool inUse = false;
        bool hasName = false;
        uint64_t parentReference = 0;
        std::u16string name;
        int error = 0;  // the read or parse code when not readable
    };
    const Folder& LookUpFolder(uint64_t recordNumber);

    std::unique_ptr<VolumeReader> reader_;
    File mftCopy_;
    uint64_t copyLength_ = 0;
    uint32_t recordSize_ = 1024;
    uint32_t clusterSize_ = 4096;
    std::unique_ptr<LogRecordStore> logRecordStore_;
    std::unordered_map<uint64_t, Folder> folders_;
};

}  // namespace qv
