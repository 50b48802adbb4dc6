// LZNT1 decompression throughput, in MB/s of output (1 MB = 10^6 bytes).
//
// The inputs are compressed here, once, by the test kit's LZNT1 compressor (hash chains), in units
// of 16 chunks (64 KiB: 16 clusters of 4 KiB), each unit padded with zeros to whole clusters as
// it lies on disk. Every unit is
// decoded once and compared with its input before anything is timed.
//
//   BM_DecompressUnit/english   English-like text (a Zipf-distributed vocabulary)
//   BM_DecompressUnit/source    the project's own C++ sources (src/ and tests/), repeated
//   BM_DecompressUnit/stored    random bytes: every chunk stored (uncompressed)
//   BM_CopyCompressed/english   the same text through CopyTo from a volume in memory: reads,
//                               decoding and writing, as recovery does it
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "ntfs/DataCopy.h"
#include "ntfs/Lznt1.h"
#include "ntfs/RunList.h"
#include "support/Bytes.h"
#include "support/Lznt1Encoder.h"
#include "support/MemoryDevice.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace {

using namespace qv;

constexpr size_t kCluster = 4096;
constexpr size_t kUnitClusters = 16;
constexpr size_t kUnitBytes = kCluster * kUnitClusters;
constexpr size_t kCorpusBytes = 8u << 20;  // per data set: 128 units

// ---- The data sets ------------------------------------------------------------------------

class Random {
public:
    explicit Random(uint64_t seed) : x_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next() {
        x_ ^= x_ << 13, x_ ^= x_ >> 7, x_ ^= x_ << 17;
        return x_;
    }
    double Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    uint64_t x_;
};

// Sentences of words drawn with a Zipf distribution from a vocabulary of common English words,
// with capitals, commas, full stops and paragraphs.
std::vector<uint8_t> EnglishText(size_t size) {
    static const char* const kWords[] = {
        "the",       "of",         "and",         "to",       "a",         "in",       "is",
        "that",      "for",        "it",          "as",       "was",       "with",     "be",
        "by",        "on",         "not",         "he",       "this",      "are",      "or",
        "his",       "from",       "at",          "which",    "but",       "have",     "an",
        "had",       "they",       "you",         "were",     "their",     "one",      "all",
        "we",        "can",        "her",         "has",      "there",     "been",     "if",
        "more",      "when",       "will",        "would",    "who",       "so",       "no",
        "she",       "other",      "its",         "may",      "these",     "what",     "them",
        "than",      "some",       "him",         "time",     "into",      "only",     "do",
        "could",     "new",        "about",       "two",      "first",     "then",     "years",
        "also",      "after",      "our",         "any",      "where",     "most",     "made",
        "over",      "such",       "like",        "between",  "through",   "before",   "people",
        "should",    "because",    "each",        "system",   "under",     "world",    "during",
        "however",   "government", "development", "number",   "house",     "although", "following",
        "important", "without",    "information", "several",  "different", "against",  "country",
        "national",  "community",  "education",   "recovery", "volume",    "cluster",  "record",
        "deleted",   "directory",  "problem",     "river",    "morning",   "evening",  "village",
        "letter",    "question",   "answer",      "children", "water",     "history",  "century",
        "mountain",  "between",    "whether",     "company",  "business",  "service",  "example",
        "research",  "position",   "evidence",    "practice", "material",
    };
    constexpr size_t kCount = std::size(kWords);
    // Cumulative Zipf weights 1/(rank+1).
    std::vector<double> cumulative(kCount);
    double total = 0;
    for (size_t i = 0; i < kCount; ++i)
        cumulative[i] = total += 1.0 / static_cast<double>(i + 1);
    Random random(1);
    std::string text;
    text.reserve(size + 64);
    bool capital = true;
    int wordsInSentence = 0, sentencesInParagraph = 0;
    while (text.size() < size) {
        const double r = random.Uniform() * total;
        const size_t w =
            std::lower_bound(cumulative.begin(), cumulative.end(), r) - cumulative.begin();
        std::string word = kWords[std::min(w, kCount - 1)];
        if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        capital = false;
        ++wordsInSentence;
        if (wordsInSentence > 6 && random.Next() % 8 == 0) {
            text += ".";
            capital = true;
            wordsInSentence = 0;
            if (++sentencesInParagraph > 3 && random.Next() % 4 == 0) {
                text += "\n\n";
                sentencesInParagraph = 0;
                continue;
            }
        } else if (wordsInSentence > 3 && random.Next() % 12 == 0) {
            text += ",";
        }
        text += ' ';
    }
    return std::vector<uint8_t>(text.begin(), text.begin() + size);
}

// The project's C++ sources, in path order, repeated to size.
std::vector<uint8_t> SourceCode(size_t size) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const char* folder : {"src", "tests"}) {
        const fs::path root = fs::path(QUORVANE_SOURCE_DIR) / folder;
        if (!fs::exists(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const auto ext = entry.path().extension();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> all;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        all.insert(all.end(), std::istreambuf_iterator<char>(in), {});
    }
    if (all.empty()) return {};
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size)
        out.insert(out.end(), all.begin(), all.begin() + std::min(all.size(), size - out.size()));
    return out;
}

std::vector<uint8_t> RandomBytes(size_t size) {
    Random random(7);
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = random.Next();
        std::memcpy(out.data() + i, &v, std::min<size_t>(8, size - i));
    }
    return out;
}

// One data set: the original bytes and its units as they lie on disk.
struct Corpus {
    std::vector<uint8_t> original;
    std::vector<std::vector<uint8_t>> units;  // each padded to whole clusters
    size_t compressedBytes = 0;               // without the padding
    std::string error;                        // set when a unit did not decode to its input
};

Corpus MakeCorpus(std::vector<uint8_t> data, bool stored) {
    Corpus c;
    c.original = std::move(data);
    for (size_t at = 0; at < c.original.size(); at += kUnitBytes) {
        const size_t n = std::min(kUnitBytes, c.original.size() - at);
        std::vector<uint8_t> unit = test::Lznt1Compress(
            std::vector<uint8_t>(c.original.begin() + at, c.original.begin() + at + n), stored);
        c.compressedBytes += unit.size();
        unit.resize((unit.size() + kCluster - 1) / kCluster * kCluster, 0);
        c.units.push_back(std::move(unit));
    }
    // The check: every unit decodes to exactly its input.
    std::vector<uint8_t> out(kUnitBytes);
    for (size_t u = 0; u < c.units.size() && c.error.empty(); ++u) {
        const size_t n = std::min(kUnitBytes, c.original.size() - u * kUnitBytes);
        const int32_t produced = DecompressUnit(c.units[u], out);
        if (produced < static_cast<int32_t>(n) ||
            std::memcmp(out.data(), c.original.data() + u * kUnitBytes, n) != 0)
            c.error = "unit " + std::to_string(u) + " does not decode to its input";
    }
    return c;
}

const Corpus& GetCorpus(int which) {
    static const Corpus english = MakeCorpus(EnglishText(kCorpusBytes), false);
    static const Corpus source = MakeCorpus(SourceCode(kCorpusBytes), false);
    static const Corpus stored = MakeCorpus(RandomBytes(kCorpusBytes), true);
    return which == 0 ? english : which == 1 ? source : stored;
}

void SetCounters(benchmark::State& state, const Corpus& c, uint64_t outputBytes) {
    state.SetBytesProcessed(static_cast<int64_t>(outputBytes));
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(outputBytes) / 1e6, benchmark::Counter::kIsRate);
    state.counters["ratio"] =
        static_cast<double>(c.compressedBytes) / static_cast<double>(c.original.size());
}

void BM_DecompressUnit(benchmark::State& state) {
    const Corpus& c = GetCorpus(static_cast<int>(state.range(0)));
    if (c.original.empty()) return state.SkipWithError("no data (sources not found?)");
    if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
    std::vector<uint8_t> out(kUnitBytes);
    uint64_t produced = 0;
    for (auto _ : state) {
        for (const auto& unit : c.units) {
            const int32_t n = DecompressUnit(unit, out);
            if (n < 0) return state.SkipWithError("DecompressUnit failed");
            produced += static_cast<uint64_t>(n);
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::ClobberMemory();
    }
    SetCounters(state, c, produced);
}
BENCHMARK(BM_DecompressUnit)->ArgName("set")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// ---- Through CopyTo ---------------------------------------------------------------------

void BM_CopyCompressed(benchmark::State& state) {
    const Corpus& c = GetCorpus(static_cast<int>(state.range(0)));
    if (c.original.empty()) return state.SkipWithError("no data (sources not found?)");
    if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
    // A volume: boot sector in cluster 0, the units one after another from cluster 1, each
    // unit's allocated clusters followed by a sparse run to the unit's end.
    uint64_t clusters = 1;
    for (const auto& unit : c.units)
        clusters += unit.size() / kCluster;
    test::VolumeImage volume(kCluster, clusters);
    RunList stream;
    uint64_t lcn = 1;
    for (const auto& unit : c.units) {
        const uint64_t allocated = unit.size() / kCluster;
        stream.AddRun(lcn, allocated);
        volume.Put(lcn, unit);
        lcn += allocated;
        if (allocated < kUnitClusters) stream.AddRun(0, kUnitClusters - allocated);
    }
    stream.SetSizes(c.original.size(), c.original.size(), c.units.size() * kUnitBytes);
    stream.SetCompression(4, true);
    VolumeReader reader;
    if (!reader.Open(std::make_unique<test::MemoryDevice>(std::move(volume.Bytes()))))
        return state.SkipWithError("the volume does not open");
    uint64_t produced = 0;
    for (auto _ : state) {
        test::DiscardSink sink;
        QuietProgress progress;
        const Result<Copied> copied = CopyTo(stream, reader, sink, progress);
        if (!copied || *copied != Copied::kWhole) return state.SkipWithError("CopyTo");
        produced += sink.written;
    }
    SetCounters(state, c, produced);
}
BENCHMARK(BM_CopyCompressed)->ArgName("set")->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
