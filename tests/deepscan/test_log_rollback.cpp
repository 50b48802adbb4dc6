// Finding, fetching and rolling back log records: the transaction chain, what is handed on as a
// change, and which record a change is for.
#include <gtest/gtest.h>

#include <ranges>
#include <tuple>

#include "deepscan/ChangeSink.h"
#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using namespace logfmt;
using test::Closing;
using test::LogRecordSpec;
constexpr auto Bytes = test::PatternBytes;

// A log record that changes MFT record `number` where 4 records of 1024 bytes fill a cluster.
LogRecordSpec Change(uint64_t previous, uint16_t redoOp, uint16_t undoOp, uint64_t number,
                     std::vector<uint8_t> redo = {}, std::vector<uint8_t> undo = {}) {
    return {.previous = previous,
            .redoOp = redoOp,
            .undoOp = undoOp,
            .redo = std::move(redo),
            .undo = std::move(undo),
            .recordOff = 0x98,
            .attrOff = 0x18,
            .clusterBlock = static_cast<uint16_t>((number % 4) * 2),
            .vcn = number / 4};
}

// A change of a resident value in record 30, undone by the same operation.
LogRecordSpec Update(uint64_t previous, uint8_t seed = 1) {
    return Change(previous, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, seed),
                  Bytes(8, seed + 1));
}

// A store over the test's log that is its own sink: it keeps every change a rollback hands on.
struct StoreTest : ::testing::Test, ChangeSink {
    test::LogBuilder log{4096, 16};
    LogRecordStore store;
    std::vector<std::pair<RecordChange, std::vector<uint8_t>>> changes;  // with their data copied

    int ApplyChange(uint64_t, uint32_t, uint32_t, ByteSpan, int32_t) override {
        ADD_FAILURE() << "a rollback hands on whole changes, never plain ones";
        return 0;
    }
    int ApplyRecordChange(const RecordChange& c) override {
        changes.emplace_back(c, std::vector<uint8_t>(c.data.begin(), c.data.end()));
        changes.back().first.data = {};  // valid only during the call
        return 1;
    }
    void Load() {
        ASSERT_TRUE(test::LoadBytes(store, log.Build()));
        store.SetSink(this);
    }
    // Rolls back from lsn and gives the LSNs of the changes handed on.
    std::vector<uint64_t> Rollback(uint64_t lsn, std::optional<int> count) {
        changes.clear();
        EXPECT_EQ(store.Rollback(lsn), count) << lsn;
        const auto lsns = std::views::keys(changes) | std::views::transform(&RecordChange::lsn);
        return {lsns.begin(), lsns.end()};
    }
};

TEST_F(StoreTest, ARollbackUndoesOneTransactionNewestFirstAndNothingOlder) {
    // An older transaction, closed by its 88-byte record.
    const uint64_t o1 = log.Add(
        Change(0, kUpdateResidentValue, kUpdateResidentValue, 40, Bytes(8, 1), Bytes(8, 9)));
    log.Add(Closing(o1));
    // The transaction that deleted the file; its change of record 5 is to a metadata file.
    const uint64_t t1 =
        log.Add(Change(0, kDeleteAttribute, kCreateAttribute, 41, {}, Bytes(72, 0x40)));
    const uint64_t t2 =
        log.Add(Change(t1, kSetBitsInNonresidentBitMap, kClearBitsInNonresidentBitMap, 41,
                       Bytes(8, 0), Bytes(8, 0)));
    const uint64_t t3 = log.Add(Change(t2, kDeallocateFileRecordSegment,
                                       kInitializeFileRecordSegment, 41, {}, Bytes(24, 0)));
    const uint64_t t4 = log.Add(
        Change(t3, kUpdateResidentValue, kUpdateResidentValue, 5, Bytes(8, 0), Bytes(8, 0)));
    LogRecordSpec restart = Change(t4, kNoop, kUpdateResidentValue, 41, {}, Bytes(8, 0));
    restart.type = 2;
    const uint64_t t5 = log.Add(restart);
    Load();

    EXPECT_EQ(Rollback(t5, 2), (std::vector<uint64_t>{t3, t1}));
    ASSERT_EQ(changes.size(), 2u);
    const RecordChange& c = changes[1].first;
    EXPECT_EQ(std::tuple(c.recordNumber, c.redoOperation, c.undoOperation, c.recordOff, c.attrOff,
                         c.redoLength, c.delta),
              std::tuple(uint64_t{41}, uint16_t{kDeleteAttribute}, uint16_t{kCreateAttribute},
                         0x98u, 0x18u, 0u, 72));
    EXPECT_EQ(changes[1].second, Bytes(72, 0x40));
    // The same LSN rolls back the same way every time; the older transaction alone is its own.
    EXPECT_EQ(Rollback(t5, 2), (std::vector<uint64_t>{t3, t1}));
    EXPECT_EQ(Rollback(o1, 1), std::vector<uint64_t>{o1});
}

TEST_F(StoreTest, CompensationRecordsSkipWhatTheTransactionHadUndoneItself) {
    const uint64_t t1 = log.Add(Update(0));
    const uint64_t t2 = log.Add(Update(t1, 3));
    // The undo of t2, logged as a compensation record: its undo-next LSN skips t2.
    LogRecordSpec clr = Change(t2, kUpdateResidentValue, kCompensationLogRecord, 30, Bytes(8, 4));
    clr.undoNext = t1;
    const uint64_t t3 = log.Add(Update(log.Add(clr), 5));
    Load();
    EXPECT_EQ(Rollback(t3, 2), (std::vector<uint64_t>{t3, t1}));
}

TEST_F(StoreTest, AChainEndsWhereTheLogNoLongerHoldsItsRecordsOrItsLinksGoForward) {
    const uint64_t t1 = log.Add(Update(0));
    const uint64_t lost = log.Lsn(2 * 4096 + 16);  // older, but no longer in the log
    const uint64_t t2 = log.Add(Update(lost));
    const uint64_t t3 = log.Add(Update(t2));
    const uint64_t t4 = log.Add(Update(t3 + 5000));  // damage: a link to a newer record
    Load();
    EXPECT_EQ(Rollback(t3, 2), (std::vector<uint64_t>{t3, t2}));
    EXPECT_EQ(Rollback(t4, 1), std::vector<uint64_t>{t4});
    for (const uint64_t notIndexed : {lost, t1 + 1, uint64_t{0}})
        EXPECT_EQ(Rollback(notIndexed, std::nullopt), std::vector<uint64_t>{});
}

TEST_F(StoreTest, UndoDataRunningPastTheRecordIsCut) {
    LogRecordSpec s =
        Change(0, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, 1), Bytes(16, 0x70));
    s.undoLengthOverride = 400;
    const uint64_t a = log.Add(s);
    // Hand-made client data: the undo offset points behind the record.
    LogRecordSpec outside = {.raw = test::EncodeLogRecord(Change(
                                 0, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, 1)))};
    outside.raw->erase(outside.raw->begin(), outside.raw->begin() + 48);
    test::Put16(*outside.raw, 0x08, 0x400);
    test::Put16(*outside.raw, 0x0A, 8);
    const uint64_t b = log.Add(outside);
    Load();
    // The record; the undo data handed on, and its delta.
    const std::tuple<uint64_t, std::vector<uint8_t>, int32_t> cases[] = {{a, Bytes(16, 0x70), 8},
                                                                         {b, {}, -8}};
    for (const auto& [lsn, data, delta] : cases) {
        EXPECT_EQ(Rollback(lsn, 1), std::vector<uint64_t>{lsn});
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].second, data);
        EXPECT_EQ(changes[0].first.delta, delta);
    }
}

TEST(TargetRecordNumber, IsTheByteOffsetInTheMftOverTheRecordSize) {
    // The change's VCN and block offset, the cluster and record size; the record number.
    const std::tuple<uint64_t, uint16_t, uint32_t, uint32_t, uint64_t> cases[] = {
        {66, 0, 512, 1024, 33},                       // 512-byte clusters: two per record
        {67, 0, 512, 1024, 33},                       // the second half of the same record
        {10, 0, 4096, 1024, 40},                      // four records per cluster
        {10, 6, 4096, 1024, 43},                      // the block offset counts 512-byte blocks
        {40, 0, 1024, 1024, 40},                      // one record per cluster
        {10, 0, 4096, 4096, 10},                      // 4096-byte records
        {3, 8, 4096, 4096, 4},                        // block offset past the cluster (as logged)
        {5, 4, 2u << 20, 1024, 10242},                // 2 MiB clusters
        {UINT64_MAX / 2, 0, 4096, 1024, UINT64_MAX},  // the offset does not fit in 64 bits
    };
    for (const auto& [vcn, block, clusterSize, recordSize, expected] : cases) {
        const auto record = test::EncodeLogRecord({.clusterBlock = block, .vcn = vcn});
        EXPECT_EQ(LogRecordStore::TargetRecordNumber(record, clusterSize, recordSize), expected)
            << vcn << " " << block << " " << clusterSize;
    }
    const std::vector<uint8_t> shortRecord(0x4F, 0);
    EXPECT_EQ(LogRecordStore::TargetRecordNumber(shortRecord, 4096, 1024), UINT64_MAX);
}

}  // namespace
}  // namespace qv
