// Finding, fetching and rolling back log records: the transaction chain, what is handed on as a
// change, and which record a change is for.
#include <gtest/gtest.h>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using namespace logfmt;
using test::Closing;
using test::LogBuilder;
using test::LogRecordSpec;
using test::RecordingSink;
constexpr auto Bytes = test::PatternBytes;

// A log record that changes MFT record `number` on a volume of 4096-byte clusters and
// 1024-byte records (4 records per cluster: VCN number / 4, block offset 2 per record).
LogRecordSpec Change(uint64_t previous, uint16_t redoOp, uint16_t undoOp, uint64_t number,
                     std::vector<uint8_t> redo = {}, std::vector<uint8_t> undo = {}) {
    LogRecordSpec s;
    s.previous = previous;
    s.redoOp = redoOp;
    s.undoOp = undoOp;
    s.vcn = number / 4;
    s.clusterBlock = static_cast<uint16_t>((number % 4) * 2);
    s.redo = std::move(redo);
    s.undo = std::move(undo);
    s.recordOff = 0x98;
    s.attrOff = 0x18;
    return s;
}

// A change of a resident value in record 30, undone by the same operation.
LogRecordSpec Update(uint64_t previous, uint8_t seed = 1) {
    return Change(previous, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, seed),
                  Bytes(8, seed + 1));
}

struct StoreTest : ::testing::Test {
    LogBuilder log{4096, 16};
    LogRecordStore store;
    RecordingSink sink;
    void Load() {
        ASSERT_TRUE(test::LoadBytes(store, log.Build()));
        store.SetSink(&sink);
    }
};

TEST_F(StoreTest, ARollbackUndoesOneTransactionNewestFirstAndNothingOlder) {
    // An older transaction, closed by its 88-byte record.
    const uint64_t o1 = log.Add(
        Change(0, kUpdateResidentValue, kUpdateResidentValue, 40, Bytes(8, 1), Bytes(8, 9)));
    log.Add(Closing(o1));
    // The transaction that deleted the file.
    const uint64_t t1 =
        log.Add(Change(0, kDeleteAttribute, kCreateAttribute, 41, {}, Bytes(72, 0x40)));
    const uint64_t t2 =
        log.Add(Change(t1, kSetBitsInNonresidentBitMap, kClearBitsInNonresidentBitMap, 41,
                       Bytes(8, 0), Bytes(8, 0)));
    const uint64_t t3 = log.Add(Change(t2, kDeallocateFileRecordSegment,
                                       kInitializeFileRecordSegment, 41, {}, Bytes(24, 0)));
    const uint64_t t4 = log.Add(Change(t3, kUpdateResidentValue, kUpdateResidentValue, 5,
                                       Bytes(8, 0), Bytes(8, 0)));  // a metadata file
    LogRecordSpec restart = Change(t4, kNoop, kUpdateResidentValue, 41, {}, Bytes(8, 0));
    restart.type = 2;
    const uint64_t t5 = log.Add(restart);
    Load();

    EXPECT_EQ(store.Rollback(t5), 2);
    EXPECT_EQ(sink.Lsns(), (std::vector<uint64_t>{t3, t1}));
    ASSERT_EQ(sink.changes.size(), 2u);
    const RecordChange& c = sink.changes[1].change;
    EXPECT_EQ(c.recordNumber, 41u);
    EXPECT_EQ(c.redoOperation, kDeleteAttribute);
    EXPECT_EQ(c.undoOperation, kCreateAttribute);
    EXPECT_EQ(c.recordOff, 0x98u);
    EXPECT_EQ(c.attrOff, 0x18u);
    EXPECT_EQ(c.redoLength, 0u);
    EXPECT_EQ(c.delta, 72);
    EXPECT_EQ(sink.changes[1].data, Bytes(72, 0x40));
    EXPECT_EQ(sink.plainCalls, 0);

    // The same LSN rolls back the same way every time; the older transaction alone is its own.
    sink.changes.clear();
    EXPECT_EQ(store.Rollback(t5), 2);
    EXPECT_EQ(sink.Lsns(), (std::vector<uint64_t>{t3, t1}));
    sink.changes.clear();
    EXPECT_EQ(store.Rollback(o1), 1);
    EXPECT_EQ(sink.Lsns(), (std::vector<uint64_t>{o1}));
}

TEST_F(StoreTest, CompensationRecordsSkipWhatTheTransactionHadUndoneItself) {
    const uint64_t t1 = log.Add(Update(0));
    const uint64_t t2 = log.Add(Update(t1, 3));
    // The undo of t2, logged as a compensation record: its undo-next LSN skips t2.
    LogRecordSpec clr = Change(t2, kUpdateResidentValue, kCompensationLogRecord, 30, Bytes(8, 4));
    clr.undoNext = t1;
    const uint64_t c = log.Add(clr);
    const uint64_t t3 = log.Add(Update(c, 5));
    Load();
    EXPECT_EQ(store.Rollback(t3), 2);
    EXPECT_EQ(sink.Lsns(), (std::vector<uint64_t>{t3, t1}));
}

TEST_F(StoreTest, AChainEndsWhereTheLogNoLongerHoldsItsRecordsOrItsLinksGoForward) {
    const uint64_t t1 = log.Add(Update(0));
    const uint64_t lost = log.Lsn(2 * 4096 + 16);  // older, but no longer in the log
    const uint64_t t2 = log.Add(Update(lost));
    const uint64_t t3 = log.Add(Update(t2));
    LogRecordSpec forward = Update(0);
    forward.previous = t3 + 5000;  // damage: a link to a newer record
    const uint64_t t4 = log.Add(forward);
    Load();
    EXPECT_EQ(store.Rollback(t3), 2);
    EXPECT_EQ(sink.Lsns(), (std::vector<uint64_t>{t3, t2}));
    sink.changes.clear();
    EXPECT_EQ(store.Rollback(t4), 1);
    sink.changes.clear();
    EXPECT_EQ(store.Rollback(lost), std::nullopt);
    EXPECT_EQ(store.Rollback(t1 + 1), std::nullopt);
    EXPECT_EQ(store.Rollback(0), std::nullopt);
    EXPECT_TRUE(sink.changes.empty());
}

TEST_F(StoreTest, UndoDataRunningPastTheRecordIsCut) {
    LogRecordSpec s =
        Change(0, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, 1), Bytes(16, 0x70));
    s.undoLengthOverride = 400;
    const uint64_t a = log.Add(s);
    const LogRecordSpec plain =
        Change(0, kUpdateResidentValue, kUpdateResidentValue, 30, Bytes(8, 1));
    LogRecordSpec outside;
    outside.raw = true;  // hand-made client data: the undo offset points behind the record
    outside.rawClientData = test::EncodeLogRecord(plain);
    outside.rawClientData.erase(outside.rawClientData.begin(), outside.rawClientData.begin() + 48);
    test::Put16(outside.rawClientData, 0x08, 0x400);
    test::Put16(outside.rawClientData, 0x0A, 8);
    const uint64_t b = log.Add(outside);
    Load();
    EXPECT_EQ(store.Rollback(a), 1);
    ASSERT_EQ(sink.changes.size(), 1u);
    EXPECT_EQ(sink.changes[0].data, Bytes(16, 0x70));
    EXPECT_EQ(sink.changes[0].change.delta, 8);
    sink.changes.clear();
    EXPECT_EQ(store.Rollback(b), 1);
    ASSERT_EQ(sink.changes.size(), 1u);
    EXPECT_TRUE(sink.changes[0].data.empty());
    EXPECT_EQ(sink.changes[0].change.delta, -8);
}

TEST_F(StoreTest, FindEntryAndFetchGiveTheStoredRecordOrNothing) {
    const LogRecordSpec spec =
        Change(0, kUpdateMappingPairs, kUpdateMappingPairs, 77, Bytes(24, 3), Bytes(16, 9));
    const uint64_t a = log.Add(spec);
    const uint64_t b = log.Add(Closing(a));
    const uint64_t c = log.Add(Change(0, kNoop, kNoop, 77));
    Load();
    for (uint64_t lsn : {a, b, c})
        EXPECT_TRUE(store.FindEntry(lsn)) << lsn;
    for (uint64_t lsn : {uint64_t{0}, a + 1, b - 1, c + 1, UINT64_MAX})
        EXPECT_FALSE(store.FindEntry(lsn)) << lsn;

    uint64_t position = 12345;
    EXPECT_FALSE(store.Fetch(a + 1, position));
    EXPECT_EQ(position, 12345u);
    const auto ra = store.Fetch(a, position);
    ASSERT_TRUE(ra);
    EXPECT_EQ(position, 0u);
    std::vector<uint8_t> expected = test::EncodeLogRecord(spec);
    test::Put64(expected, 0, a);
    EXPECT_EQ(*ra, expected);
}

TEST(TargetRecordNumber, IsTheByteOffsetInTheMftOverTheRecordSize) {
    auto record = [](uint64_t vcn, uint16_t block) {
        LogRecordSpec s;
        s.vcn = vcn;
        s.clusterBlock = block;
        return test::EncodeLogRecord(s);
    };
    struct Case {
        uint64_t vcn;
        uint16_t block;
        uint32_t clusterSize;
        uint32_t recordSize;
        uint64_t expected;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        EXPECT_EQ(
            LogRecordStore::TargetRecordNumber(record(c.vcn, c.block), c.clusterSize, c.recordSize),
            c.expected)
            << c.vcn << " " << c.block << " " << c.clusterSize;
    }
    const std::vector<uint8_t> shortRecord(0x4F, 0);
    EXPECT_EQ(LogRecordStore::TargetRecordNumber(shortRecord, 4096, 1024), UINT64_MAX);
}

}  // namespace
}  // namespace qv
