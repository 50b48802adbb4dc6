#include "platform/ReadAhead.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace qv {

namespace {

constexpr uint64_t kNoRead = UINT64_MAX;

class ReadAheadDevice final : public BlockDevice {
public:
    ReadAheadDevice(std::unique_ptr<BlockDevice> direct, DeviceOpener openAnother,
                    ReadAheadOptions options)
        : direct_(std::move(direct)),
          openAnother_(std::move(openAnother)),
          options_(options),
          size_(direct_->Size()),
          slots_(static_cast<size_t>(options.blocksAhead + options.workers)),
          liveWorkers_(options.workers) {}

    ~ReadAheadDevice() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    uint64_t Size() const override { return size_; }

    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        std::lock_guard reading(readMutex_);
        if (offset >= size_ || size == 0) return direct_->ReadAt(offset, buffer, size);
        size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
        auto* out = static_cast<uint8_t*>(buffer);
        std::unique_lock lock(mutex_);
        const bool streaming = next_ != kNoRead && offset >= next_ &&
                               offset - next_ <= options_.nearBytes &&
                               size >= options_.minStreamingRead;
        next_ = offset + size;
        streak_ = streaming ? streak_ + 1 : 0;
        if (!streaming) DropQueued();
        const uint64_t end = offset + size;
        uint64_t position = offset;
        while (position < end) {
            const uint64_t block = position / options_.blockBytes;
            if (streaming && streak_ >= options_.streakBeforeReadingAhead) Schedule(block, size);
            Slot* slot = Find(block);
            if (slot && slot->state == State::kQueued && options_.readUnstartedBlocks) {
                slot->state = State::kFree;  // read below, sooner than a busy worker would
                slot = nullptr;
            }
            if (slot && streaming)
                ready_.wait(lock, [&] {
                    return slot->state != State::kQueued && slot->state != State::kReading;
                });
            const uint64_t blockStart = block * options_.blockBytes;
            if (slot && slot->state == State::kDone && position - blockStart < slot->length) {
                // Only this thread reassigns a finished block: it can be copied unlocked.
                const uint64_t n = std::min<uint64_t>(end, blockStart + slot->length) - position;
                lock.unlock();
                std::memcpy(out + (position - offset), slot->bytes.get() + (position - blockStart),
                            n);
                lock.lock();
                position += n;
                continue;
            }
            // Not read ahead, or its worker failed: the first handle reads it, with the blocks
            // after it that are not read ahead either, and reports whatever error it meets.
            uint64_t pieceEnd = std::min(end, blockStart + options_.blockBytes);
            while (pieceEnd < end) {
                const Slot* next = Find(pieceEnd / options_.blockBytes);
                if (next && next->state != State::kFailed) break;
                pieceEnd = std::min(end, pieceEnd + options_.blockBytes);
            }
            const uint64_t want = pieceEnd - position;
            lock.unlock();
            const Result<size_t> read = direct_->ReadAt(position, out + (position - offset), want);
            lock.lock();
            if (!read) return read.error();
            position += *read;
            if (*read < want) break;  // the device ended
        }
        return static_cast<size_t>(position - offset);
    }

private:
    enum class State { kFree, kQueued, kReading, kDone, kFailed };
    struct Slot {
        State state = State::kFree;
        uint64_t block = 0;
        std::unique_ptr<uint8_t[]> bytes;  // blockBytes, allocated by the first worker to fill it
        uint64_t length = 0;               // bytes read (kDone)
    };

    // One worker: its own handle, opened here so a slow open costs the reader nothing; then the
    // queued block nearest the reader, one after another, until the device closes.
    void Work() {
        Result<std::unique_ptr<BlockDevice>> opened = openAnother_();
        std::unique_ptr<BlockDevice> device = opened ? std::move(*opened) : nullptr;
        std::unique_lock lock(mutex_);
        if (!device) {
            // No second handle: the reader reads everything itself.
            if (--liveWorkers_ == 0) {
                for (Slot& slot : slots_)
                    if (slot.state == State::kQueued) slot.state = State::kFailed;
                ready_.notify_all();
            }
            return;
        }
        while (true) {
            Slot* slot = nullptr;
            work_.wait(lock, [&] { return stop_ || (slot = NextQueued()) != nullptr; });
            if (stop_) break;
            slot->state = State::kReading;
            if (!slot->bytes) slot->bytes.reset(new (std::nothrow) uint8_t[options_.blockBytes]);
            const uint64_t start = slot->block * options_.blockBytes;
            const uint64_t want = std::min(options_.blockBytes, size_ - start);
            uint8_t* into = slot->bytes.get();
            lock.unlock();
            const Result<size_t> read =
                into ? device->ReadAt(start, into, want) : Result<size_t>(Error(kErrNoMemory));
            lock.lock();
            slot->length = read ? *read : 0;
            slot->state = slot->length > 0 ? State::kDone : State::kFailed;
            ready_.notify_all();
        }
    }

    Slot* Find(uint64_t block) {
        for (Slot& slot : slots_)
            if (slot.state != State::kFree && slot.block == block) return &slot;
        return nullptr;
    }

    Slot* NextQueued() {
        Slot* next = nullptr;
        for (Slot& slot : slots_)
            if (slot.state == State::kQueued && (!next || slot.block < next->block)) next = &slot;
        return next;
    }

    void DropQueued() {
        for (Slot& slot : slots_)
            if (slot.state == State::kQueued) slot.state = State::kFree;
    }

    // Queues the blocks from first on that no slot holds yet, as many as the reads of readSize
    // will need next and one more for every read the stream has gone on for (what is read ahead
    // when the stream stops is wasted), up to blocksAhead, in slots that are free or hold blocks
    // outside that range (a block being read is left to finish). So a long stream of reads no
    // larger than a block keeps every worker busy. The workers start with the first stream: a
    // device only probed never opens more.
    void Schedule(uint64_t first, uint64_t readSize) {
        if (workers_.empty())
            for (int i = 0; i < options_.workers; ++i)
                workers_.emplace_back([this] { Work(); });
        if (liveWorkers_ == 0) return;
        const uint64_t ahead = std::min<uint64_t>(
            options_.blocksAhead,
            (readSize + options_.blockBytes - 1) / options_.blockBytes + streak_);
        const uint64_t last = std::min(first + ahead, (size_ - 1) / options_.blockBytes + 1);
        const auto outside = [&](const Slot& slot) {
            return slot.state == State::kFree ||
                   (slot.state != State::kReading && (slot.block < first || slot.block >= last));
        };
        bool queued = false;
        for (uint64_t block = first; block < last; ++block) {
            if (Find(block)) continue;
            const auto slot = std::find_if(slots_.begin(), slots_.end(), outside);
            if (slot == slots_.end()) break;
            slot->state = State::kQueued;
            slot->block = block;
            slot->length = 0;
            queued = true;
        }
        if (queued) work_.notify_all();
    }

    std::unique_ptr<BlockDevice> direct_;
    DeviceOpener openAnother_;
    const ReadAheadOptions options_;
    const uint64_t size_;
    std::mutex readMutex_;  // one caller at a time: streaming is judged on the order of reads
    std::mutex mutex_;      // the slots, liveWorkers_, stop_
    std::condition_variable work_;   // a block was queued, or the device closes
    std::condition_variable ready_;  // a block was read, or failed
    std::vector<Slot> slots_;
    int liveWorkers_;
    bool stop_ = false;
    uint64_t next_ = kNoRead;  // where the last read ended
    uint64_t streak_ = 0;      // streaming reads in a row
    std::vector<std::thread> workers_;
};

}  // namespace

int ReadAheadWorkersForThisMachine() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores >= 3 ? 2 : cores == 2 ? 1 : 0;
}

std::unique_ptr<BlockDevice> WithReadAhead(std::unique_ptr<BlockDevice> direct,
                                           DeviceOpener openAnother, ReadAheadOptions options) {
    if (options.workers <= 0 || options.blocksAhead <= 0 || options.blockBytes == 0 ||
        direct->Size() == 0)
        return direct;
    return std::make_unique<ReadAheadDevice>(std::move(direct), std::move(openAnother), options);
}

}  // namespace qv
