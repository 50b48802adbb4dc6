#pragma once

#include <QImage>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/ContentPreview.h"
#include "scan/DeletedFile.h"

namespace qv {

class WorkerContext;

// Reads previews on a thread of their own, one at a time, from the session of the last scan.
// The session's caches are not made for two threads, so a read never runs beside another read,
// nor while a scan or recovery works on the session: Pause stops the read and waits for it
// before one starts. A newer request stops the read running; only the newest request's result
// is delivered, with the picture decoded on the reading thread when the content is one. Belongs
// to the window thread.
class PreviewLoader final : public QObject {
    Q_OBJECT
public:
    using Delivery =
        std::function<void(const DeletedFile&, const Result<PreviewContent>&, const QImage&)>;

    PreviewLoader(WorkerContext& context, Delivery deliver, QObject* parent = nullptr);
    ~PreviewLoader() override;

    // Reads a file of the current list (from the context's session); its result replaces any
    // older request's.
    void Request(const DeletedFile& file);
    // Forgets the request: nothing is delivered until the next one.
    void Cancel();
    // Stops the running read and returns once it has ended; nothing is read until Resume.
    void Pause();
    void Resume();
    bool Reading() const { return running_; }

private:
    void StartNext();
    void Finished(const DeletedFile& file, const Result<PreviewContent>& result,
                  const QImage& picture);

    WorkerContext& context_;
    Delivery deliver_;
    std::optional<DeletedFile> pending_;
    std::thread thread_;
    bool running_ = false;
    bool wanted_ = false;  // the running read is the newest request
    int paused_ = 0;
    std::shared_ptr<std::atomic<bool>> stop_;
};

}  // namespace qv
