#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Error.h"
#include "ntfs/DataCopy.h"

namespace qv {

class Progress;
class ScanSession;
struct DeletedFile;

// What a preview shows a file's first bytes as.
enum class PreviewKind {
    kImage,  // PNG, JPEG, BMP or GIF by its signature
    kText,   // valid UTF-8 without NULs, or UTF-16 with a byte order mark
    kHex,    // anything else: a hex dump
};

// How much of a file a preview reads: whole pictures up to a size a window can still show, and
// a first screenful or so of anything else.
constexpr size_t kImagePreviewCap = 16 * 1024 * 1024;
constexpr size_t kTextPreviewCap = 64 * 1024;
constexpr size_t kHexPreviewCap = 64 * 1024;

// A file's first bytes, read the way a recovery reads them (from the record the scan kept, out
// of the clusters its runs name as they are now).
struct PreviewContent {
    std::vector<uint8_t> bytes;
    PreviewKind kind = PreviewKind::kHex;
    bool cut = false;  // the file goes on past the bytes read
    // kWhole, or kIncomplete when the runs end before the file's size (everything they give is
    // in bytes); kStopped when the read was stopped.
    Copied copied = Copied::kWhole;
};

// Reads up to the preview cap of a listed file's content into memory. The cap follows the
// content: kImagePreviewCap once the first bytes carry an image signature, kTextPreviewCap
// otherwise. progress: IsCancelled stops the read (copied is kStopped then). An error when the
// record cannot be built or the volume cannot be read; nothing is written anywhere.
Result<PreviewContent> ReadPreview(ScanSession& session, const DeletedFile& file,
                                   Progress& progress);

// The kind of content bytes are. cut: the bytes are the start of something longer, so a
// character split at the end is not invalid.
PreviewKind ClassifyContent(std::span<const uint8_t> bytes, bool cut = false);
// Whether bytes begin with a PNG, JPEG, BMP or GIF signature.
bool HasImageSignature(std::span<const uint8_t> bytes);

// The text of content ClassifyContent found to be text (its byte order mark dropped; a
// character split at the end left out).
std::u16string DecodeText(std::span<const uint8_t> bytes);

// Lines of "00000010  48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 0a 00 00 00  |Hello, world....|" for
// the first kHexPreviewCap bytes; bytes outside printable ASCII show as ".".
std::string HexDump(std::span<const uint8_t> bytes);

}  // namespace qv
