#include "ui/PreviewLoader.h"

#include "app/WorkerContext.h"
#include "base/Progress.h"
#include "ui/UiThread.h"

namespace qv {

namespace {

// A read nobody watches, stopped through a flag the window thread sets.
class StopFlag final : public Progress {
public:
    explicit StopFlag(std::shared_ptr<std::atomic<bool>> stop) : stop_(std::move(stop)) {}
    void SetStageCount(int32_t) override {}
    void SetSteps(int64_t) override {}
    void Step(uint64_t) override {}
    bool IsCancelled() const override { return stop_->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<bool>> stop_;
};

}  // namespace

PreviewLoader::PreviewLoader(WorkerContext& context, Delivery deliver, QObject* parent)
    : QObject(parent), context_(context), deliver_(std::move(deliver)) {}

PreviewLoader::~PreviewLoader() {
    if (stop_) stop_->store(true);
    // Its result is posted to this object and dropped with it.
    if (thread_.joinable()) thread_.join();
}

void PreviewLoader::Request(const DeletedFile& file) {
    pending_ = file;
    if (running_) {
        wanted_ = false;
        stop_->store(true);
        return;  // the next read starts when this one has ended
    }
    StartNext();
}

void PreviewLoader::Cancel() {
    pending_.reset();
    if (running_) {
        wanted_ = false;
        stop_->store(true);
    }
}

void PreviewLoader::Pause() {
    ++paused_;
    if (running_) stop_->store(true);
    WaitProcessingEvents([this] { return !running_; });
}

void PreviewLoader::Resume() {
    if (paused_ > 0) --paused_;
    StartNext();
}

void PreviewLoader::StartNext() {
    if (running_ || paused_ > 0 || !pending_) return;
    DeletedFile file = std::move(*pending_);
    pending_.reset();
    ScanSession* session = context_.session.get();
    if (!session) {
        deliver_(file, Error(kErrRead, "the volume of this list is no longer open"), QImage());
        return;
    }
    stop_ = std::make_shared<std::atomic<bool>>(false);
    running_ = true;
    wanted_ = true;
    thread_ = std::thread([this, session, file = std::move(file), stop = stop_] {
        StopFlag progress(stop);
        Result<PreviewContent> result = ReadPreview(*session, file, progress);
        // Decoding a big picture takes long enough to be felt: done here, not in the window.
        QImage picture;
        if (result && result->kind == PreviewKind::kImage && !stop->load())
            picture.loadFromData(result->bytes.data(), static_cast<int>(result->bytes.size()));
        PostToUiThread(this, [this, file, result = std::move(result), picture] {
            Finished(file, result, picture);
        });
    });
}

void PreviewLoader::Finished(const DeletedFile& file, const Result<PreviewContent>& result,
                             const QImage& picture) {
    thread_.join();
    running_ = false;
    // A read stopped by Pause is asked for again by the owner when it resumes.
    const bool stopped = result && result->copied == Copied::kStopped;
    if (wanted_ && !stopped) deliver_(file, result, picture);
    StartNext();
}

}  // namespace qv
