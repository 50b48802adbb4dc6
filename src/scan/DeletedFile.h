#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/LocalTime.h"
#include "scan/FileState.h"
#include "scan/FolderPath.h"

namespace qv {

// One deleted file as a scan finds it: what the front ends list, and what a recovery is asked
// for (by record number). Texts for display are made from it where they are shown.
struct DeletedFile {
    uint64_t record = 0;  // the MFT record number of its base record
    std::u16string name;  // empty when the record has no name
    FolderPath folder;    // the folders above it, from the top down
    // The folder path reaches the volume's root ("X:\A\B\"); otherwise it is partial ("A\B\"):
    // the climb stopped at a folder that is gone or reused.
    bool rooted = false;
    CTime created;
    CTime deleted;  // the modification time of its name, the closest to when it was deleted
    uint64_t size = 0;
    bool damaged = false;          // its record is damaged: what it says may be wrong
    bool hasNamedStreams = false;  // it has $DATA streams beside its content
    FileState state = FileState::kUnknown;
    // For kPartlyOverwritten: the share of its clusters allocated now, 1 to 99.
    uint8_t overwrittenPercent = 0;
};

// Where a scan delivers what it finds, in batches, in ascending record number.
class DeletedFileSink {
public:
    virtual ~DeletedFileSink() = default;
    // At most this many files follow (told once, before the first batch): a sink that keeps them
    // all makes room once instead of regrowing and moving them as they come.
    virtual void Expect(size_t /*atMost*/) {}
    virtual void Take(std::vector<DeletedFile>&& batch) = 0;
    // Forget every file taken: the scan failed or was stopped, and a part of the list must not
    // pass for all of it.
    virtual void Discard() = 0;
};

// A sink that keeps everything (the terminal program, tests).
class DeletedFileList final : public DeletedFileSink {
public:
    void Expect(size_t atMost) override { files.reserve(files.size() + atMost); }
    void Take(std::vector<DeletedFile>&& batch) override {
        for (DeletedFile& f : batch)
            files.push_back(std::move(f));
    }
    void Discard() override { std::vector<DeletedFile>().swap(files); }
    std::vector<DeletedFile> files;
};

}  // namespace qv
