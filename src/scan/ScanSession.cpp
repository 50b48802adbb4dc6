#include "scan/ScanSession.h"

#include <cstring>
#include <set>

#include "base/Error.h"
#include "base/Progress.h"
#include "base/Report.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/FileRecord.h"
#include "ntfs/StreamReader.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "scan/ClusterBitmap.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

constexpr uint64_t kLogFileRecord = 2;
// NTFS makes its $LogFile at most a few hundred MiB; a size past 4 GiB is damage, and reading
// that many (sparse) pages would keep the scan busy for hours.
constexpr uint64_t kMaxLogBytes = uint64_t{4} << 30;

[[noreturn]] void Fail(int code, std::string detail, int osError = 0) {
    throw CMyException(code, std::move(detail), osError);
}

// Reads record n of the $MFT straight from the volume through the runs known so far; a record
// may straddle runs when clusters are smaller than records.
Status ReadMftRecordFromVolume(VolumeReader& reader, const RunList& mft, uint64_t n,
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
        if (run == nullptr || run->IsSparse())
            return Error(kErrRead, "$MFT record " + std::to_string(n) + " lies in no run");
        const uint32_t piece =
            static_cast<uint32_t>(std::min<uint64_t>(cs - within, recordSize - done));
        const uint64_t lcn = run->firstCluster + (vcn - run->vcn);
        Status read =
            reader.ReadAt(static_cast<int64_t>(lcn * cs + within), buffer.data() + done, piece);
        if (!read) return read;
        done += piece;
        offset += piece;
    }
    return {};
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
            if (!ReadMftRecordFromVolume(reader, *mft.UnnamedStream(), entry.SegmentRecordNumber(),
                                         recordSize, image))
                continue;
            mft.ParseListedAttribute(image, entry, reader.ClusterSize(), &reader);
            taken.insert(i);
            found = true;
        }
    }
}

}  // namespace

ScanSession::ScanSession(std::unique_ptr<VolumeReader> reader) : reader_(std::move(reader)) {
    recordSize_ = reader_->RecordSize();
    clusterSize_ = reader_->ClusterSize();
}

ScanSession::~ScanSession() = default;  // the copies remove themselves when closed

Result<std::unique_ptr<ScanSession>> ScanSession::Open(const Source& source,
                                                       const ScanOptions& options,
                                                       Progress& progress) {
    auto reader = std::make_unique<VolumeReader>();
    if (const Status opened = reader->Open(source); !opened) return opened.error();
    return Open(std::move(reader), options, progress);
}

Result<std::unique_ptr<ScanSession>> ScanSession::Open(std::unique_ptr<VolumeReader> reader,
                                                       const ScanOptions& options,
                                                       Progress& progress) {
    std::unique_ptr<ScanSession> session(new ScanSession(std::move(reader)));
    session->options_ = options;
    try {
        session->Prepare(progress);
    } catch (const CMyException& e) {
        return e.GetError();
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
    return session;
}

Result<std::unique_ptr<ScanSession>> ScanSession::OpenExtract(std::unique_ptr<VolumeReader> reader,
                                                              const std::u16string& mftExtract) {
    std::unique_ptr<ScanSession> session(new ScanSession(std::move(reader)));
    session->options_.advanced = false;
    auto extract = std::make_unique<File>();
    if (Status opened = extract->Open(mftExtract, File::Mode::kRead); !opened)
        return Error(kErrRead, opened.error().cause, opened.error().osError);
    session->recordsLength_ = extract->Size();
    session->records_ = std::move(extract);
    session->walk_.reset();
    if (Status made = session->snapshot_.Create(); !made) return made.error();
    return session;
}

void ScanSession::Prepare(Progress& progress) {
    // The normal scan has two stages: the walk over the $MFT and the building. The advanced one
    // adds the two passes over the $LogFile and the rollback.
    progress.SetStageCount(options_.advanced ? 5 : 2);
    if (Status made = snapshot_.Create(); !made) throw CMyException(made.error());
    OpenMft();
    if (options_.advanced && !progress.IsCancelled()) PrepareLog(progress);
}

void ScanSession::OpenMft() {
    std::vector<uint8_t> record0(recordSize_);
    const uint64_t mftOffset = reader_->Boot().mftCluster * uint64_t{clusterSize_};
    if (reader_->DeviceSize() > 0 && mftOffset / clusterSize_ == reader_->Boot().mftCluster &&
        mftOffset + recordSize_ > reader_->DeviceSize())
        Fail(kErrRead, "the volume ends before its $MFT (an image cut short?)");
    if (Status read = reader_->ReadMftStart(record0.data(), recordSize_); !read)
        Fail(read.error().code, "read error at the $MFT's first cluster");
    mft_ = std::make_unique<FileRecord>();
    std::vector<uint8_t> image = record0;
    mft_->SetHeader(image);
    mft_->Parse(image, clusterSize_, reader_.get());
    const RunList* data = mft_->UnnamedStream();
    if (!HasFileSignature(record0.data(), record0.size()) || data == nullptr || data->IsResident())
        Fail(kErrRead, "record 0 of the $MFT is not a FILE record with an unnamed $DATA");
    FollowMftAttributeList(*mft_, *reader_, recordSize_);

    // The records are read where they lie, through the $MFT's runs, not copied first: a copy of
    // a large $MFT costs a write and a read of hundreds of megabytes before the first record
    // is looked at. Records past the end of the runs are not there to read, and neither are
    // records past the volume's end: the $MFT lies on the volume, so a larger size is damage.
    // The walk reads them in order through the data window; records read one at a time (a
    // file's, a folder's) go through a window of their own.
    walk_ = std::make_unique<StreamReader>(*mft_->UnnamedStream(), *reader_);
    auto records = std::make_unique<StreamReader>(*mft_->UnnamedStream(), *reader_,
                                                  static_cast<int>(VolumeReader::Stream::kRecords));
    recordsLength_ = records->Size();
    uint64_t next = 0;
    bool hole = false;
    for (const DataRun& run : data->Runs()) {
        if (run.vcn > next) hole = true;
        next = std::max(next, run.vcn + run.clusterCount);
    }
    if (next * clusterSize_ < recordsLength_ || hole) {
        Report(u"The $MFT's data runs end before its size: %s\n",
               u"records past them cannot be scanned");
        recordsLength_ = std::min(recordsLength_, next * clusterSize_);
    }
    if (reader_->DeviceSize() > 0 && recordsLength_ > reader_->DeviceSize()) {
        Report(u"The $MFT's size is larger than the volume: %s\n",
               u"records past the volume's size cannot be scanned");
        recordsLength_ = reader_->DeviceSize();
    }
    records_ = std::move(records);
}

void ScanSession::PrepareLog(Progress& progress) {
    // A log that cannot serve is no failure: the scan goes on as the normal one, saying why
    // when the reason is not simply a log nobody wrote.
    auto cannotServe = [&](const std::string& why) {
        logRecordStore_.reset();
        progress.SetStageCount(2);  // what is left is the normal scan's two stages
        Report(u"Advanced scan is not possible on %s, the log file cannot be used\n",
               options_.volumeName);
        if (!why.empty()) Report(u"%s %s\n", options_.volumeName, FromUtf8(why));
    };
    logRecordStore_ = std::make_unique<LogRecordStore>();
    std::vector<uint8_t> record;
    if (!ReadRecord(kLogFileRecord, record)) return cannotServe({});
    FileRecord logFile;
    logFile.SetHeader(record);
    if (!HasFileSignature(record.data(), record.size()) ||
        logFile.Parse(record, clusterSize_, reader_.get()) == Parsed::kUnreadable ||
        logFile.UnnamedStream() == nullptr)
        return cannotServe({});

    // The log's pages are read where they lie on the volume: a copy would cost a write and a
    // read of the whole log (64 MiB and more) before the first page is looked at.
    StreamReader log(*logFile.UnnamedStream(), *reader_);
    if (log.Size() > kMaxLogBytes ||
        (reader_->DeviceSize() > 0 && log.Size() > reader_->DeviceSize()))
        return cannotServe("the $LogFile's size (" + std::to_string(log.Size()) +
                           " bytes) is larger than a log can be");
    const Status loaded =
        logRecordStore_->Load(log, clusterSize_, reader_->SectorSize(), recordSize_, progress);
    if (loaded) return;
    const int32_t code = loaded.error().code;
    if (code == kLogCannotServe) return cannotServe({});
    if (code == kErrRead || code == kErrSeek || code == kErrDecompress)
        return cannotServe(std::string("the $LogFile cannot be read: ") + DescribeError(code));
    if (code == kErrTempFile) Fail(code, loaded.error().Text(), loaded.error().osError);
    Fail(code, std::string("indexing the $LogFile failed: ") + DescribeError(code));
}

Status ScanSession::ReadRecord(uint64_t number, std::vector<uint8_t>& buffer) {
    buffer.resize(recordSize_);
    if (number >= recordsLength_ / recordSize_)
        return Error(kErrRead, "$MFT record " + std::to_string(number) + " is past its end");
    const Result<size_t> n = records_->ReadAt(number * recordSize_, buffer.data(), recordSize_);
    if (!n) return n.error();
    if (*n != recordSize_)
        return Error(kErrRead, "$MFT record " + std::to_string(number) + " cannot be read whole");
    return {};
}

}  // namespace qv
