#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SameVolume.h"
#include "recovery/OutputPaths.h"
#include "scan/DeletedFile.h"

namespace qv {

class Progress;
class Prompts;
class ScanSession;

// A destination on the volume being scanned: ask (the window), go on, or refuse (the terminal,
// unless told to go on).
enum class SameVolume { kAsk, kAllow, kRefuse };

struct RecoveryOptions {
    std::u16string destination;  // tidy, ends in "/" (TidyDestination)
    bool recreatePaths = true;   // recreate each file's folders below the destination
    ExistingFile existingFile = ExistingFile::kAsk;
    bool keepTimes = false;  // give each file the deleted file's modification and access times
    SameVolume sameVolume = SameVolume::kAsk;
    // Recover the chosen files in the order of their records (the terminal: the scan's copy of
    // the records is read forward, and so are the volume's files, which mostly lie in that
    // order); false keeps the order given (the window's list, as the user sorted it).
    bool recordOrder = false;
    // Copy the bytes on a thread of its own (when the volume can be opened a second time) while
    // the next targets are made; false does everything on one thread (tests compare the two).
    bool writerThread = true;
    // Whether writing into the destination can land on the source (platform/SameVolume.h);
    // tests put a stand-in here.
    bool (*destinationOnSource)(const std::u16string& source,
                                const std::u16string& destination) = &DestinationOnSource;
};

// What became of one file or one of its named streams.
struct RecoveryOutcome {
    enum Kind { kRecovered, kIncomplete, kFailed, kSkipped, kCanceled };
    uint64_t record = 0;
    std::u16string name;    // the file's name, or "name:stream"
    std::u16string target;  // where it was (or would have been) written
    Kind kind = kRecovered;
    uint64_t bytes = 0;    // written
    std::u16string cause;  // why it is not recovered whole; empty when it is
};

class RecoveryOutcomeSink {
public:
    virtual ~RecoveryOutcomeSink() = default;
    virtual void Take(const RecoveryOutcome& outcome) = 0;
};

// What a recovery did, file by file (named streams count as files).
struct RecoverySummary {
    int recovered = 0;
    int incomplete = 0;
    int failed = 0;
    int skipped = 0;
    int canceled = 0;
    int notReached = 0;         // chosen files after an Abort (the one in hand included)
    bool refused = false;       // the destination could not be used: nothing was written
    bool onSameVolume = false;  // refused because it lies on the volume being scanned
    std::u16string refusal;     // why, in words ("/out/: Not a directory")
};

// Writes the chosen files below the destination, each in its folder (or straight into it), with
// the questions a folder or file that cannot be made, or that exists, needs. Every step is
// reported in the log; every file and stream ends in one outcome. The destination is refused
// before anything is written when it is no folder this user can write in, or (unless allowed)
// lies on the volume being scanned.
RecoverySummary Recover(ScanSession& session, const std::vector<DeletedFile>& chosen,
                        const RecoveryOptions& options, Prompts& prompts, Progress& progress,
                        RecoveryOutcomeSink* outcomes = nullptr);

}  // namespace qv
