// With the writer thread a recovery says and does what one thread does: each file's lines together
// in file order, questions after all earlier lines, Stop and Abort at the same file, same files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <thread>

#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::PatternBytes;
using test::RecordBuilder;
using Bytes = std::vector<uint8_t>;
using Messages = std::vector<std::string>;

// Enough files for several hand-overs to the writer; the odd ones among them in the middle.
constexpr uint32_t kFirst = 30, kLast = 129, kBig = 80, kShort = 90, kPrompted = 60;
constexpr uint64_t kBigSize = 300 * 4096;

std::string NameOf(uint32_t n) {
    return "f" + std::to_string(n) + (n == kBig ? ".bin" : ".txt");
}

// The outcomes, and whether they all came from the recovering thread.
struct Outcomes final : RecoveryOutcomeSink {
    std::vector<std::string> all;
    bool offThread = false;
    void Take(const RecoveryOutcome& o) override {
        all.push_back(ToUtf8(o.name) + " " + std::to_string(o.kind) + " " +
                      std::to_string(o.bytes) + " " + ToUtf8(o.cause));
        offThread |= std::this_thread::get_id() != caller;
    }
    std::thread::id caller = std::this_thread::get_id();
};

struct Seen {
    Messages log;
    Outcomes outcomes;
    std::vector<std::pair<std::string, Bytes>> files;
    std::vector<std::string> lastLineAtQuestion;
    RecoverySummary summary;
};

struct RecoveryOrder : ::testing::Test {
    std::string dest;
    test::ScanHarness h;

    void SetUp() override {
        NtfsBuilder volume(4096, 1024, kLast + 8);
        // Folders first used after the big file: Stop inside it must not find them made.
        for (uint32_t d = 0; d < 2; ++d) {
            RecordBuilder folder = RecordBuilder().RecordNumber(kLast + 1 + d).Directory();
            folder.FileName(NtfsBuilder::kRootReference, u"d" + FromUtf8(std::to_string(d)));
            volume.SetRecord(kLast + 1 + d, folder.Build());
        }
        for (uint32_t n = kFirst; n <= kLast; ++n) {
            const uint64_t parent = n < kBig && n % 10 == 5 ? test::Ref(kLast + 1 + n % 2, 1)
                                                            : NtfsBuilder::kRootReference;
            RecordBuilder file =
                RecordBuilder().RecordNumber(n).FileName(parent, FromUtf8(NameOf(n)));
            if (n == kBig || n == kShort) {
                const uint64_t clusters = n == kBig ? 300 : 2;
                const uint64_t lcn = volume.Allocate(clusters);
                volume.PutData(lcn, PatternBytes(clusters * 4096, n));
                file.NonResidentData({{lcn, clusters}}, n == kBig ? kBigSize : 5 * 4096);
            } else {
                file.ResidentData(PatternBytes(n, n));
                if (n % 7 == 0) file.ResidentData(PatternBytes(3, n + 1), u"Zone.Identifier");
            }
            volume.SetRecord(n, file.Build());
        }
        dest = test::MakeTempDir("qvorder") + "/out";
        h.Scan(volume.WriteImage("order.img"));
        ASSERT_EQ(h.list.files.size(), kLast - kFirst + 1);
    }

    struct Case {
        const char* what;
        ExistingFile existing = ExistingFile::kAsk;
        std::function<void()> before = {};  // puts something in the way
        std::deque<int> answers = {};
        bool stopInsideBig = false;
        rlim_t fileSizeLimit = RLIM_INFINITY;
        Messages tail = {};  // the log's last lines
    };

    Seen Run(const Case& c, bool writerThread) {
        std::filesystem::remove_all(dest);
        std::filesystem::create_directories(dest);
        if (c.before) c.before();
        Seen seen;
        h.context.outcomes = &seen.outcomes;
        h.context.recovery.existingFile = c.existing;
        h.context.recovery.writerThread = writerThread;
        h.prompts.answers = c.answers;
        h.prompts.asked.clear();
        h.prompts.onAsk = [&] { seen.lastLineAtQuestion.push_back(h.LogMessages().back()); };
        h.view.onCounts = [&](const ProgressCounts& counts) {  // once the big file's copy began
            if (c.stopInsideBig && counts.total == kBigSize && counts.done > 0 &&
                counts.done < kBigSize)
                h.progress->Stop();
        };
        std::vector<uint64_t> all(kLast - kFirst + 1);
        std::iota(all.begin(), all.end(), kFirst);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{.rlim_cur = c.fileSizeLimit, .rlim_max = old.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        h.pane.Clear();
        h.Recover(FromUtf8(dest), all);
        ::setrlimit(RLIMIT_FSIZE, &old);
        h.context.outcomes = &h.outcomes;
        seen.log = h.LogMessages();
        seen.summary = h.context.summary;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dest)) {
            const std::string relative = e.path().lexically_relative(dest).string();
            if (e.is_directory())
                seen.files.emplace_back(relative + "/", Bytes{});
            else
                seen.files.emplace_back(relative, test::ReadWholeFile(e.path().string()));
        }
        std::sort(seen.files.begin(), seen.files.end());
        return seen;
    }
};

// Each "Recovering NAME ... " line begins the lines of that file (or stream), and every line up
// to the next names it or its target; the files come newest record first (as the window's list
// gives them), or lowest first when the recovery goes in record order.
void ExpectFileByFile(const Messages& log, bool recordOrder = false) {
    std::string name;
    uint32_t previous = recordOrder ? 0 : kLast + 1;
    for (const std::string& line : log) {
        if (line.rfind("Recovering ", 0) == 0) {
            name = line.substr(11, line.size() - 11 - 5);
            if (name.find(':') != std::string::npos) continue;
            const uint32_t n = std::stoul(name.substr(1));
            if (recordOrder)
                EXPECT_GT(n, previous) << line;
            else
                EXPECT_LT(n, previous) << line;
            previous = n;
        } else if (!name.empty() && line != "Canceled by user" &&
                   line != "All files are processed, recover end") {
            EXPECT_NE(line.find(name.substr(0, name.find(':'))), std::string::npos)
                << "a line of another file inside " << name << "'s: " << line;
        }
    }
}

TEST_F(RecoveryOrder, TheWriterThreadSaysAndWritesWhatOneThreadDoes) {
    const std::string at = dest + "/" + NameOf(kPrompted);
    const std::string big = dest + "/" + NameOf(kBig);
    const std::string end = "All files are processed, recover end";
    const Messages canceledInBig = {"Recover f80.bin to " + big + " canceled", "Canceled by user"};
    const Case cases[] = {
        {.what = "named streams and an incomplete file",
         .tail = {"Recover f30.txt to " + dest + "/f30.txt success", end}},
        {.what = "a write that fails (a full disk)", .fileSizeLimit = 100000, .tail = {end}},
        {.what = "a question in the middle",
         .before = [&] { std::ofstream(at) << "in the way"; },
         .answers = {kIdYes},
         .tail = {end}},
        {.what = "Stop in the middle of a copy", .stopInsideBig = true, .tail = canceledInBig},
        {.what = "Stop while files that exist wait to be overwritten",
         .existing = ExistingFile::kOverwrite,
         .before =
             [&] {
                 for (uint32_t n = kFirst; n <= kLast; ++n)
                     if (n % 10 != 5 || n > kBig) std::ofstream(dest + "/" + NameOf(n)) << "old";
             },
         .stopInsideBig = true,
         .tail = canceledInBig},
        {.what = "Abort in the middle",
         .existing = ExistingFile::kOverwrite,
         .before = [&] { std::filesystem::create_directory(at); },
         .answers = {kIdAbort},
         .tail = {"Open file " + at + " failed", at + ": Is a directory", "Canceled by user"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Seen one = Run(c, false);
        const Seen two = Run(c, true);
        EXPECT_FALSE(one.outcomes.offThread);
        EXPECT_TRUE(two.outcomes.offThread);
        EXPECT_EQ(two.log, one.log);
        EXPECT_EQ(two.outcomes.all, one.outcomes.all);
        EXPECT_EQ(two.files, one.files);
        EXPECT_EQ(two.lastLineAtQuestion, one.lastLineAtQuestion);
        ExpectFileByFile(two.log);
        ASSERT_GE(two.log.size(), c.tail.size());
        EXPECT_EQ(Messages(two.log.end() - c.tail.size(), two.log.end()), c.tail);
        for (const Seen& s : {one, two}) {
            EXPECT_EQ(s.lastLineAtQuestion,
                      c.answers.empty() ? Messages{}
                                        : Messages{"Recovering " + NameOf(kPrompted) + " ... "});
            EXPECT_EQ(s.summary.incomplete, 1);  // short.bin, before all three
            EXPECT_EQ(s.summary.failed, c.fileSizeLimit == RLIM_INFINITY ? 0 : 1);
            EXPECT_EQ(s.summary.canceled, c.stopInsideBig ? 1 : 0);
            EXPECT_EQ(s.summary.notReached, c.answers == std::deque<int>{kIdAbort}
                                                ? static_cast<int>(kPrompted - kFirst + 1)
                                                : 0);
        }
    }
}

TEST_F(RecoveryOrder, InRecordOrderFilesGoLowestRecordFirstOnEitherThread) {
    h.context.recovery.recordOrder = true;
    const Seen one = Run({.what = "record order"}, false);
    const Seen two = Run({.what = "record order"}, true);
    h.context.recovery.recordOrder = false;
    EXPECT_EQ(two.log, one.log);
    EXPECT_EQ(two.files, one.files);
    ExpectFileByFile(two.log, true);
    EXPECT_EQ(two.log.at(1), "Recovering " + NameOf(kFirst) + " ... ");
    // Every file but the short one, and the 14 named streams (of f35, f42, ... f126).
    EXPECT_EQ(two.summary.recovered, static_cast<int>(kLast - kFirst + 1) - 1 + 14);
}

}  // namespace
}  // namespace qv
