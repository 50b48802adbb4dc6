#include "app/ContentPreview.h"

#include <algorithm>
#include <array>
#include <new>

#include "base/Progress.h"
#include "ntfs/FileRecord.h"
#include "platform/ByteSink.h"
#include "platform/Text.h"
#include "scan/DeletedFile.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {

// The bytes the signatures need (a BMP's is its file header and the size of the header after).
constexpr size_t kSignatureBytes = 18;

bool StartsWith(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

bool IsBmp(std::span<const uint8_t> bytes) {
    // "BM" alone starts many texts: the size of the header that follows must be one of those
    // the format has had.
    if (bytes.size() < kSignatureBytes || !StartsWith(bytes, {'B', 'M'})) return false;
    constexpr std::array<uint32_t, 7> kInfoSizes = {12, 40, 52, 56, 64, 108, 124};
    return std::ranges::find(kInfoSizes, Le32(bytes, 14)) != kInfoSizes.end();
}

// How many bytes the UTF-8 sequence at bytes[i] takes when it is valid (shortest form, no
// surrogates, at most U+10FFFF); 0 when it is invalid, -1 when bytes end inside it.
int Utf8Sequence(std::span<const uint8_t> bytes, size_t i) {
    const uint8_t lead = bytes[i];
    if (lead < 0x80) return 1;
    int length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if (i + k >= bytes.size()) return -1;
        const uint8_t b = bytes[i + k];
        if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return length;
}

bool IsUtf8Text(std::span<const uint8_t> bytes, bool cut) {
    for (size_t i = 0; i < bytes.size();) {
        if (bytes[i] == 0) return false;
        const int length = Utf8Sequence(bytes, i);
        if (length == -1) return cut;  // a character split by the cap
        if (length == 0) return false;
        i += static_cast<size_t>(length);
    }
    return true;
}

enum class Bom { kNone, kUtf8, kUtf16Le, kUtf16Be };

Bom BomOf(std::span<const uint8_t> bytes) {
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return Bom::kUtf8;
    if (StartsWith(bytes, {0xFF, 0xFE})) return Bom::kUtf16Le;
    if (StartsWith(bytes, {0xFE, 0xFF})) return Bom::kUtf16Be;
    return Bom::kNone;
}

std::u16string Utf16Units(std::span<const uint8_t> bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bigEndian ? bytes[i] << 8 | bytes[i + 1]
                                                       : bytes[i + 1] << 8 | bytes[i]));
    return text;
}

// Keeps a file's first bytes up to the preview cap, which is settled once the first bytes show
// whether the file is a picture; refuses the write that passes it, which ends the copy there.
class PreviewSink final : public ByteSink {
public:
    Status Write(const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        const size_t take = std::min(size, cap_ - bytes.size());
        bytes.insert(bytes.end(), p, p + take);
        if (!settled_ && bytes.size() >= kSignatureBytes) {
            settled_ = true;
            cap_ = HasImageSignature(bytes) ? kImagePreviewCap : kTextPreviewCap;
        }
        if (bytes.size() > cap_ || take < size) {
            bytes.resize(std::min(bytes.size(), cap_));
            cut_ = true;
            return Error(kErrWrite, "the preview has all it shows");
        }
        return {};
    }
    bool Cut() const { return cut_; }
    std::vector<uint8_t> bytes;

private:
    size_t cap_ = kImagePreviewCap;
    bool settled_ = false;
    bool cut_ = false;
};

}  // namespace

bool HasImageSignature(std::span<const uint8_t> bytes) {
    return StartsWith(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}) ||
           StartsWith(bytes, {0xFF, 0xD8, 0xFF}) ||
           StartsWith(bytes, {'G', 'I', 'F', '8', '7', 'a'}) ||
           StartsWith(bytes, {'G', 'I', 'F', '8', '9', 'a'}) || IsBmp(bytes);
}

PreviewKind ClassifyContent(std::span<const uint8_t> bytes, bool cut) {
    if (HasImageSignature(bytes)) return PreviewKind::kImage;
    switch (BomOf(bytes)) {
        case Bom::kUtf16Le:
        case Bom::kUtf16Be: {
            // An odd byte at the end is half a character: only a cut may leave one.
            if (bytes.size() % 2 != 0 && !cut) return PreviewKind::kHex;
            const std::u16string units =
                Utf16Units(bytes.subspan(2), BomOf(bytes) == Bom::kUtf16Be);
            return units.find(u'\0') == std::u16string::npos ? PreviewKind::kText
                                                             : PreviewKind::kHex;
        }
        case Bom::kUtf8:
            return IsUtf8Text(bytes.subspan(3), cut) ? PreviewKind::kText : PreviewKind::kHex;
        case Bom::kNone: break;
    }
    return IsUtf8Text(bytes, cut) ? PreviewKind::kText : PreviewKind::kHex;
}

std::u16string DecodeText(std::span<const uint8_t> bytes) {
    const Bom bom = BomOf(bytes);
    if (bom == Bom::kUtf16Le || bom == Bom::kUtf16Be)
        return Utf16Units(bytes.subspan(2), bom == Bom::kUtf16Be);
    if (bom == Bom::kUtf8) bytes = bytes.subspan(3);
    // A character the cap split is left out rather than shown as a replacement.
    size_t end = bytes.size();
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const uint8_t b = bytes[bytes.size() - back];
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        if (b >= 0xC0 && Utf8Sequence(bytes, bytes.size() - back) == -1) end = bytes.size() - back;
        break;
    }
    const std::span<const uint8_t> whole = bytes.first(end);
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(whole.data()), whole.size()));
}

std::string HexDump(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    bytes = bytes.first(std::min(bytes.size(), kHexPreviewCap));
    std::string text;
    text.reserve((bytes.size() / 16 + 1) * 78);
    for (size_t line = 0; line < bytes.size(); line += 16) {
        for (int shift = 28; shift >= 0; shift -= 4)
            text.push_back(kDigits[(line >> shift) & 0xF]);
        text += "  ";
        std::string ascii;
        for (size_t k = 0; k < 16; ++k) {
            if (line + k < bytes.size()) {
                const uint8_t b = bytes[line + k];
                text.push_back(kDigits[b >> 4]);
                text.push_back(kDigits[b & 0xF]);
                ascii.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
            } else {
                text += "  ";
            }
            text += k == 7 ? "  " : " ";
        }
        text += " |" + ascii + "|\n";
    }
    return text;
}

Result<PreviewContent> ReadPreview(ScanSession& session, const DeletedFile& file,
                                   Progress& progress) {
    try {
        auto record = session.LoadFile(file.record);
        if (!record) return record.error();
        PreviewSink sink;
        const Result<Copied> copied = CopyRecordData(sink, **record, session.Reader(), progress);
        // The copy ends in an error where the sink refused the bytes past the cap: that is the
        // preview's own end, and what was read is whole.
        if (!copied && !sink.Cut()) return copied.error();
        PreviewContent content;
        content.cut = sink.Cut();
        content.copied = copied ? *copied : Copied::kWhole;
        content.kind = ClassifyContent(sink.bytes, content.cut);
        content.bytes = std::move(sink.bytes);
        return content;
    } catch (const CMyException& e) {
        return e.GetError();
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
}

}  // namespace qv
