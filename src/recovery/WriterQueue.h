#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// Hands work from the thread that decides to one thread that carries it out, strictly in the
// order given. Work goes over in batches (one wake-up per batch, not per item), and at most a
// few batches wait, so the deciding thread never runs far ahead (each item may hold an open
// file). Without a thread (threaded false) every item is carried out as it is given.
template <typename Item>
class WriterQueue {
public:
    static constexpr size_t kBatch = 32;
    static constexpr size_t kMaxWaiting = 3;

    WriterQueue(std::function<void(Item&)> work, bool threaded) : work_(std::move(work)) {
        if (threaded) thread_ = std::thread([this] { Serve(); });
    }
    ~WriterQueue() {
        Drain();
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                closing_ = true;
            }
            changed_.notify_all();
            thread_.join();
        }
    }
    WriterQueue(const WriterQueue&) = delete;
    WriterQueue& operator=(const WriterQueue&) = delete;

    void Push(Item item) {
        if (!thread_.joinable()) {
            work_(item);
            return;
        }
        batch_.push_back(std::move(item));
        if (batch_.size() >= kBatch) HandOff();
    }
    // Returns once everything given so far is carried out.
    void Drain() {
        if (!thread_.joinable()) return;
        if (!batch_.empty()) HandOff();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.empty() && !busy_; });
    }

private:
    void HandOff() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.size() < kMaxWaiting; });
        waiting_.push_back(std::move(batch_));
        // The next batch fills a vector the writer emptied, not one grown afresh each time.
        batch_ = std::move(spare_);
        spare_.clear();
        if (batch_.capacity() < kBatch) batch_.reserve(kBatch);
        lock.unlock();
        changed_.notify_all();
    }
    void Serve() {
        std::unique_lock lock(mutex_);
        while (true) {
            changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
            if (waiting_.empty()) return;
            std::vector<Item> batch = std::move(waiting_.front());
            waiting_.pop_front();
            busy_ = true;
            lock.unlock();
            changed_.notify_all();
            for (Item& item : batch)
                work_(item);
            batch.clear();  // closes what the items hold before the batch counts as done
            lock.lock();
            if (spare_.capacity() < batch.capacity()) spare_ = std::move(batch);
            busy_ = false;
            changed_.notify_all();
        }
    }

    std::function<void(Item&)> work_;
    std::vector<Item> batch_;  // the deciding thread's, not yet handed over
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<Item>> waiting_;
    std::vector<Item> spare_;  // emptied by the writer, for the next batch
    bool busy_ = false;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace qv
