#include "scan/ScanSession.h"

#include <cstring>
#include <set>

#include "base/Error.h"
#include "base/Report.h"
#include "base/Progress.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "ntfs/StreamReader.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

constexpr uint64_t kLogFileRecord = 2;
// NTFS makes its $LogFile at most a few hundred MiB; a size past 4 GiB is damage, and reading
// that many (sparse) pages would keep the scan busy for hours.
constexpr uint64_t kMaxLogBytes = uint64_t{4} << 30;

std::string TempFailure() {
    return "cannot make a temporary file in " + ToUtf8(TempDirectory()) + ": " +
           std::strerror(errno);
}

[[noreturn]] void Fail(int code, std::string detail, int osError = 0) {
    throw CMyException(code, std::move(detail), osError);
}

// Reads record n of the $MFT straight from the volume through the runs known so far; a record
// may straddle runs when clusters are smaller than records.
int ReadMftRecordFromVolume(VolumeReader& reader, const RunList& mft, uint64_t n,
                            uint32_t recordSize, std::vector<uint8_t>& buffer) {
    const uint64_t cs = reader.ClusterSize();
    buffer.assign(recordSize, 0);
    uint64_t offset = n * recordSize;
    uint32_t done = 0;
    while (done < recordSize) {
        const uint64_t vcn = offset / cs;
        const uint64_t within = offset % cs;
        const DataRun* run = nullptr;
        for (const DataRun& r : mft.Runs())
            if (!r.resident && vcn >= r.vcn && vcn - r.vcn < r.clusterCount) run = &r;
        if (run == nullptr || run->IsSparse()) return kErrRead;
        const uint32_t piece =
            static_cast<uint32_t>(std::min<uint64_t>(cs - within, recordSize - done));
        const uint64_t lcn = run->firstCluster + (vcn - run->vcn);
        const int64_t r =
            reader.ReadAt(static_cast<int64_t>(lcn * cs + within), buffer.data() + done, piece);
        if (r < 0) return static_cast<int>(r);
        done += piece;
        offset += piece;
    }
    return 0;
}

// A big or old volume has a fragmented $MFT whose record 0 carries an attribute list: further
// extents of its $DATA sit in extension records. Each is read through the extents known so far
// (record 0's own extent always covers the first records) until nothing more is found.
void FollowMftAttributeList(FileRecord& mft, VolumeReader& reader, uint32_t recordSize) {
    std::set<size_t> taken;
    bool found = true;
    while (found) {
        found = false;
        const size_t entries = mft.AttributeListCount();
        for (size_t i = 0; i < entries; ++i) {
            if (taken.count(i)) continue;
            const AttributeListEntry entry = *mft.GetAttributeListEntry(i);
            if (entry.type != kAttrData || !entry.name.empty() || entry.SegmentRecordNumber() == 0)
                continue;
            std::vector<uint8_t> image;
            if (ReadMftRecordFromVolume(reader, *mft.UnnamedStream(), entry.SegmentRecordNumber(),
                                        recordSize, image) < 0)
                continue;
            mft.ParseListedAttribute(image, entry, reader.ClusterSize(), &reader);
            taken.insert(i);
            found = true;
        }
    }
}

}  // namespace

ScanSession::ScanSession(char16_t driveLetter, bool advanced, Progress& progress)
    : reader_(std::make_unique<VolumeReader>()) {
    const int r = reader_->Open(driveLetter);
    if (r < 0) Fail(r, reader_->FailureReason(), reader_->FailureErrno());
    Prepare(advanced, progress);
}

ScanSession::ScanSession(std::unique_ptr<VolumeReader> reader, bool advanced,
                         Progress& progress)
    : reader_(std::move(reader)) {
    Prepare(advanced, progress);
}

ScanSession::ScanSession(std::unique_ptr<VolumeReader> reader, const std::u16string& mftExtract)
    : reader_(std::move(reader)) {
    recordSize_ = reader_->RecordSize();
    clusterSize_ = reader_->ClusterSize();
    if (!mftCopy_.Open(mftExtract, File::Mode::kRead))
        Fail(kErrRead,
             "cannot open " + ToUtf8(mftExtract) + ": " + std::strerror(mftCopy_.LastError()));
    const int64_t length = mftCopy_.Length();
    copyLength_ = length > 0 ? static_cast<uint64_t>(length) : 0;
}

ScanSession::~ScanSession() = default;  // the copies remove themselves when closed

void ScanSession::Prepare(bool advanced, Progress& progress) {
    recordSize_ = reader_->RecordSize();
    clusterSize_ = reader_->ClusterSize();
    // The normal scan has three stages: the $MFT copy, the collection and the building. The
    // advanced one adds the two passes over the $LogFile and the rollback.
    progress.SetStageCount(advanced ? 6 : 3);
    CopyMft(progress);
    if (advanced && !progress.IsCancelled()) PrepareLog(progress);
}

void ScanSession::CopyMft(Progress& progress) {
    std::vector<uint8_t> record0(recordSize_);
    const uint64_t mftOffset = reader_->Boot().mftCluster * uint64_t{clusterSize_};
    if (reader_->DeviceSize() > 0 && mftOffset / clusterSize_ == reader_->Boot().mftCluster &&
        mftOffset + recordSize_ > reader_->DeviceSize())
        Fail(kErrRead, "the volume ends before its $MFT (an image cut short?)");
    const int64_t r = reader_->ReadMftStart(record0.data(), recordSize_);
    if (r < 0) Fail(static_cast<int>(r), "read error at the $MFT's first cluster");
    FileRecord mft;
    std::vector<uint8_t> image = record0;
    mft.SetHeader(image);
    if (const int p = mft.Parse(image, clusterSize_, reader_.get()); p < 0)
        Fail(p, "record 0 of the $MFT cannot be parsed");
    if (!HasFileSignature(record0.data(), record0.size()) || mft.UnnamedStream() == nullptr ||
        mft.UnnamedStream()->IsResident())
        Fail(kErrRead, "record 0 of the $MFT is not a FILE record with an unnamed $DATA");
    FollowMftAttributeList(mft, *reader_, recordSize_);

    if (MakeTempFile(mftCopy_, "NRM") < 0) Fail(kErrTempFile, TempFailure());
    // The $MFT lies on the volume, so it is never larger than the volume: a size beyond that
    // is damage, and copying it (sparse runs cost no reading) would fill the temporary folder.
    LimitedSink copy(mftCopy_, reader_->DeviceSize() > 0 ? reader_->DeviceSize() : UINT64_MAX);
    const int copied = CopyRecordData(copy, mft, *reader_, progress);
    if (copied == kErrCopyIncomplete) {
        Report(u"The $MFT's data runs end before its size: %s\n",
                            u"records past them cannot be scanned");
    } else if (copied == kErrWrite && copy.ReachedLimit()) {
        Report(u"The $MFT's size is larger than the volume: %s\n",
                            u"records past the volume's size cannot be scanned");
    } else if (copied == kErrWrite) {
        Fail(copied, "cannot write the $MFT copy " + ToUtf8(mftCopy_.Path()) + ": " +
                         std::strerror(mftCopy_.LastError()));
    } else if (copied < 0) {
        Fail(copied, std::string("copying the $MFT failed: ") + DescribeError(copied));
    }
    const int64_t length = mftCopy_.Length();
    copyLength_ = length > 0 ? static_cast<uint64_t>(length) : 0;
}

void ScanSession::PrepareLog(Progress& progress) {
    // A log that cannot serve is no failure: the scan goes on as the normal one, saying why
    // when the reason is not simply a log nobody wrote.
    auto cannotServe = [&](const std::string& why) {
        logRecordStore_.reset();
        Report(u"Advanced scan is not possible on %c:, the log file cannot be used\n",
                            reader_->DriveLetter());
        if (!why.empty()) Report(u"%c: %s\n", reader_->DriveLetter(), FromUtf8(why));
    };
    logRecordStore_ = std::make_unique<LogRecordStore>();
    std::vector<uint8_t> record;
    if (ReadRecord(kLogFileRecord, record) < 0) return cannotServe({});
    FileRecord logFile;
    logFile.SetHeader(record);
    if (!HasFileSignature(record.data(), record.size()) ||
        logFile.Parse(record, clusterSize_, reader_.get()) < 0 ||
        logFile.UnnamedStream() == nullptr)
        return cannotServe({});

    // The log's pages are read where they lie on the volume: a copy would cost a write and a
    // read of the whole log (64 MiB and more) before the first page is looked at.
    StreamReader log(*logFile.UnnamedStream(), *reader_);
    if (log.Size() > kMaxLogBytes ||
        (reader_->DeviceSize() > 0 && log.Size() > reader_->DeviceSize()))
        return cannotServe("the $LogFile's size (" + std::to_string(log.Size()) +
                           " bytes) is larger than a log can be");
    const int loaded =
        logRecordStore_->Load(log, clusterSize_, reader_->SectorSize(), recordSize_, progress);
    if (loaded == kLogCannotServe) return cannotServe({});
    if (loaded == kErrRead || loaded == kErrSeek || loaded == kErrDecompress)
        return cannotServe(std::string("the $LogFile cannot be read: ") + DescribeError(loaded));
    if (loaded == kErrTempFile) Fail(loaded, TempFailure());
    if (loaded < 0)
        Fail(loaded, std::string("indexing the $LogFile failed: ") + DescribeError(loaded));
}

int ScanSession::ReadRecord(uint64_t number, std::vector<uint8_t>& buffer) {
    buffer.resize(recordSize_);
    if (number > UINT64_MAX / recordSize_) return kErrRead;
    const int64_t n = mftCopy_.ReadAt(number * recordSize_, buffer.data(), recordSize_);
    return n == static_cast<int64_t>(recordSize_) ? 0 : kErrRead;
}

}  // namespace qv
