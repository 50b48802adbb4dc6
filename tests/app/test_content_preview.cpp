// A file's preview: what its first bytes are taken for, the text and hex dump made of them, and
// the bytes read from real volumes, held against The Sleuth Kit's manifests.
#include <gtest/gtest.h>

#include <cstring>

#include "app/ContentPreview.h"
#include "app/ProgressDialog.h"
#include "base/Progress.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/ScanHarness.h"
#include "support/Sha256.h"

namespace qv {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

const std::vector<uint8_t> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A BMP's file header and the size of the header after it (40: BITMAPINFOHEADER).
std::vector<uint8_t> BmpHeader(uint8_t infoSize) {
    std::vector<uint8_t> b = Bytes("BM");
    b.resize(18, 0);
    b[2] = 0x46;
    b[10] = 54;
    b[14] = infoSize;
    return b;
}

TEST(ContentPreview, FirstBytesDecideImageTextOrHex) {
    const std::tuple<const char*, std::vector<uint8_t>, bool, PreviewKind> cases[] = {
        {"empty file", {}, false, PreviewKind::kText},
        {"ASCII", Bytes("notes\r\n\tsecond line"), false, PreviewKind::kText},
        {"UTF-8", Bytes("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), false, PreviewKind::kText},
        {"NUL in ASCII", Bytes(std::string_view("ab\0cd", 5)), false, PreviewKind::kHex},
        {"UTF-8 BOM only", {0xEF, 0xBB, 0xBF}, false, PreviewKind::kText},
        {"UTF-16 LE BOM only", {0xFF, 0xFE}, false, PreviewKind::kText},
        {"UTF-16 LE", {0xFF, 0xFE, 'h', 0, 'i', 0}, false, PreviewKind::kText},
        {"UTF-16 BE", {0xFE, 0xFF, 0, 'h', 0, 'i'}, false, PreviewKind::kText},
        {"UTF-16 odd length", {0xFF, 0xFE, 'h', 0, 'i'}, false, PreviewKind::kHex},
        {"UTF-16 odd length, cut", {0xFF, 0xFE, 'h', 0, 'i'}, true, PreviewKind::kText},
        {"UTF-16 NUL unit", {0xFF, 0xFE, 'h', 0, 0, 0}, false, PreviewKind::kHex},
        {"UTF-32 LE BOM", {0xFF, 0xFE, 0, 0, 'h', 0, 0, 0}, false, PreviewKind::kHex},
        {"lone continuation byte", Bytes("a\x80z"), false, PreviewKind::kHex},
        {"overlong slash", Bytes("\xC0\xAF"), false, PreviewKind::kHex},
        {"overlong 3 bytes", Bytes("\xE0\x80\xAF"), false, PreviewKind::kHex},
        {"surrogate", Bytes("\xED\xA0\x80"), false, PreviewKind::kHex},
        {"past U+10FFFF", Bytes("\xF4\x90\x80\x80"), false, PreviewKind::kHex},
        {"Latin-1", Bytes("caf\xE9!"), false, PreviewKind::kHex},
        {"split at the end", Bytes("caf\xE2\x82"), false, PreviewKind::kHex},
        {"split at the end, cut", Bytes("caf\xE2\x82"), true, PreviewKind::kText},
        {"invalid before the end, cut", {0xFF, 'a', 'b', 'c'}, true, PreviewKind::kHex},
        {"PNG signature only", kPng, false, PreviewKind::kImage},
        {"truncated PNG signature", {kPng.begin(), kPng.end() - 1}, false, PreviewKind::kHex},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, false, PreviewKind::kImage},
        {"GIF89a", Bytes("GIF89a\x01\x00"), false, PreviewKind::kImage},
        {"GIF87a", Bytes("GIF87a"), false, PreviewKind::kImage},
        {"GIF88a is text", Bytes("GIF88a"), false, PreviewKind::kText},
        {"BMP", BmpHeader(40), false, PreviewKind::kImage},
        {"BMP, V5 header", BmpHeader(124), false, PreviewKind::kImage},
        {"BM and an unknown header size", BmpHeader(41), false, PreviewKind::kHex},
        {"text that starts with BM", Bytes("BMW service dates, 2019"), false, PreviewKind::kText},
    };
    for (const auto& [what, bytes, cut, kind] : cases)
        EXPECT_EQ(ClassifyContent(bytes, cut), kind) << what;
}

TEST(ContentPreview, TextDropsItsByteOrderMarkAndASplitCharacterAndHexShowsTheFirst64KiB) {
    const std::pair<std::vector<uint8_t>, std::u16string> cases[] = {
        {{}, u""},
        {{0xEF, 0xBB, 0xBF}, u""},
        {{0xEF, 0xBB, 0xBF, 'c', 'a', 'f', 0xC3, 0xA9}, u"café"},
        {{0xFF, 0xFE, 'h', 0, 0xAC, 0x20}, u"h€"},
        {{0xFE, 0xFF, 0, 'h', 0x20, 0xAC, 'x'}, u"h€"},  // the odd byte is left out
        {Bytes("ab\xE2\x82"), u"ab"},
        {Bytes("ab\xF0\x9F\x98"), u"ab"},
        {Bytes("ab\xC3"), u"ab"},
        {Bytes("ab\xF0\x9F\x98\x80"), u"ab\U0001F600"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(DecodeText(bytes), text) << ToUtf8(text);

    // The hex dump: offset, sixteen bytes and their ASCII a line.
    EXPECT_EQ(HexDump({}), "");
    EXPECT_EQ(HexDump(Bytes(std::string_view("Hello, world\n\0\0\0\x7F\xFF", 18))),
              "00000000  48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 0a 00 00 00  |Hello, world....|\n"
              "00000010  7f ff                                             |..|\n");
    std::vector<uint8_t> big(100 * 1024);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i);
    const std::string dump = HexDump(big);
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 4096);
    EXPECT_EQ(dump.substr(dump.size() - 79),
              "0000fff0  f0 f1 f2 f3 f4 f5 f6 f7  f8 f9 fa fb fc fd fe ff  |................|\n");
}

// The demo volume's deleted files read as a user would look at them.
TEST(ContentPreview, TheDemoVolumesFilesAreSeenAsPicturesTextsOrBytes) {
    QV_REQUIRE_FIXTURE(image, "sample.img");
    test::ScanHarness harness;
    harness.Scan(image);
    ASSERT_NE(harness.context.session, nullptr);
    // Record, the kind it is shown as, whether cut, the bytes read and how they start.
    const std::tuple<uint64_t, PreviewKind, bool, size_t, const char*> cases[] = {
        {74, PreviewKind::kImage, false, 7258, "\x89PNG"},    // holiday.png
        {104, PreviewKind::kImage, false, 27702, "BM"},       // scan-0001.bmp, fragmented
        {67, PreviewKind::kText, false, 26105, ""},           // sales-2023.csv
        {71, PreviewKind::kText, false, 253, "<"},            // notes.html
        {70, PreviewKind::kHex, false, 804, "PK"},            // landlord.odt (a zip)
        {68, PreviewKind::kHex, false, 845, "%PDF"},          // annual-report.pdf: bytes past ASCII
        {77, PreviewKind::kText, true, kTextPreviewCap, ""},  // the compressed log
        {105, PreviewKind::kText, false, 0, ""},              // ballast.tmp, emptied
    };
    QuietProgress progress;
    for (const auto& [record, kind, cut, size, start] : cases) {
        SCOPED_TRACE("record " + std::to_string(record));
        const DeletedFile* file = harness.Find(record);
        ASSERT_NE(file, nullptr);
        const auto preview = ReadPreview(*harness.context.session, *file, progress);
        ASSERT_TRUE(preview) << preview.error().Text();
        EXPECT_EQ(preview->kind, kind);
        EXPECT_EQ(preview->cut, cut);
        EXPECT_EQ(preview->copied, Copied::kWhole);
        EXPECT_EQ(preview->bytes.size(), size);
        const std::string bytes(preview->bytes.begin(), preview->bytes.end());
        EXPECT_EQ(bytes.substr(0, std::strlen(start)), start);
    }
    ProgressDialog stopped;
    stopped.Stop();
    const auto preview = ReadPreview(*harness.context.session, *harness.Find(104), stopped);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->copied, Copied::kStopped);
}

// Every deleted file: a whole file within its cap is byte for byte what The Sleuth Kit reads;
// a longer one is cut exactly at the cap.
TEST(ContentPreview, PreviewedBytesAreTheFilesOwnUpToTheCap) {
    for (const char* name : {"rich-4k", "sample"}) {
        SCOPED_TRACE(name);
        QV_REQUIRE_FIXTURE(image, std::string(name) + ".img");
        QV_REQUIRE_FIXTURE(manifest, std::string(name) + ".deleted.tsv");
        test::ScanHarness harness;
        harness.Scan(image);
        ASSERT_NE(harness.context.session, nullptr);
        QuietProgress progress;
        int whole = 0, cut = 0;
        for (const test::ManifestRow& row : test::ReadManifest(manifest)) {
            if (row.record < 24 || row.IsNamedStream()) continue;
            SCOPED_TRACE(row.path);
            const DeletedFile* file = harness.Find(row.record);
            ASSERT_NE(file, nullptr);
            const auto preview = ReadPreview(*harness.context.session, *file, progress);
            ASSERT_TRUE(preview) << preview.error().Text();
            const size_t cap =
                HasImageSignature(preview->bytes) ? kImagePreviewCap : kTextPreviewCap;
            if (row.size <= cap) {
                EXPECT_FALSE(preview->cut);
                EXPECT_EQ(preview->copied, Copied::kWhole);
                EXPECT_EQ(test::Sha256Hex(preview->bytes), row.sha256);
                ++whole;
            } else {
                EXPECT_TRUE(preview->cut);
                EXPECT_EQ(preview->bytes.size(), cap);
                ++cut;
            }
        }
        EXPECT_GT(whole, 5);
        EXPECT_GT(cut, 0);
    }
}

}  // namespace
}  // namespace qv
