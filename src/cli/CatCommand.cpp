// quorvane-cli cat: one file's content (or one of its named streams) to stdout, read where the
// volume holds it, deleted or not, for piping into other tools.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "app/RecordInPlace.h"
#include "base/Progress.h"
#include "cli/Commands.h"
#include "cli/SourceChoice.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "ntfs/RunList.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {

// Writes to a file descriptor, every byte: short writes are continued, EINTR retried. A reader
// that went away (EPIPE) is remembered apart from other failures.
class DescriptorSink final : public ByteSink {
public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    Status Write(const void* data, size_t size) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                readerGone_ = errno == EPIPE;
                return Error(kErrWrite, "writing the output failed: " + ToUtf8(ErrorText(errno)),
                             errno);
            }
            p += n;
            size -= static_cast<size_t>(n);
        }
        return {};
    }
    bool ReaderGone() const { return readerGone_; }

private:
    int fd_;
    bool readerGone_ = false;
};

int Fail(const std::string& cause, int status) {
    std::fprintf(stderr, "quorvane-cli: cat: %s\n", cause.c_str());
    return status;
}

}  // namespace

void AddCatCommand(CLI::App& app, CatArguments& options) {
    CLI::App* cat = app.add_subcommand(
        "cat",
        "Write one file's content to stdout, read where the volume holds it (deleted or not).\n"
        "Exit status: 0 written, 1 the volume or the record cannot be read, 2 bad arguments\n"
        "(also a record that is no file's, a stream the file does not have),\n"
        "3 incomplete (the file's data runs end early; what they hold was written).");
    cat->add_option("SOURCE", options.source, "image file, block device, or drive letter (E:)")
        ->required();
    cat->add_option("--record", options.record, "the file's MFT record number")->required();
    cat->add_option("--stream", options.stream,
                    "a named stream of the file instead of its content");
    cat->add_option("--partition", options.partition,
                    "the NTFS partition to read, on a disk with several (see 'volumes')")
        ->check(CLI::PositiveNumber);
}

int RunCatCommand(const CatArguments& options) {
    const SourceChoice choice = ChooseSource(options.source, options.partition);
    if (choice.exitStatus >= 0) return choice.exitStatus;
    QuietProgress progress;
    ScanOptions scanOptions;
    scanOptions.advanced = false;  // the records are read as they lie; the log is not needed
    auto session = ScanSession::Open(choice.drive.source, scanOptions, progress);
    if (!session) return Fail(options.source + ": " + session.error().Text(), kExitCannotOpen);
    auto record = ReadFileInPlace(**session, options.record);
    if (!record)
        return Fail(record.error().Text(),
                    record.error().code == kErrBadValue ? kExitBadArguments : kExitCannotOpen);

    const std::u16string streamName = FromUtf8(options.stream);
    const RunList* stream = (*record)->FindStream(streamName);
    if (!stream) {
        std::string names;
        for (size_t i = 0; i < (*record)->StreamCount(); ++i)
            if (const RunList* s = (*record)->GetDataStream(i); s && !s->Name().empty())
                names += (names.empty() ? "" : ", ") + ToUtf8(s->Name());
        const std::string which = "record " + std::to_string(options.record);
        if (streamName.empty()) return Fail(which + " has no content stream", kExitCannotOpen);
        return Fail(which + " has no stream named \"" + options.stream + "\" (" +
                        (names.empty() ? std::string("it has no named streams")
                                       : "its named streams: " + names) +
                        ")",
                    kExitBadArguments);
    }
    // A reader that stops early (| head, | file -) is not a failure of ours: writing then fails
    // with EPIPE instead of killing the program, and the copy just ends.
    std::signal(SIGPIPE, SIG_IGN);
    DescriptorSink out(STDOUT_FILENO);
    const Result<Copied> copied = CopyTo(*stream, (*session)->Reader(), out, progress);
    if (!copied) {
        if (out.ReaderGone()) return kExitOk;
        return Fail(copied.error().Text(), kExitCannotOpen);
    }
    if (*copied == Copied::kIncomplete)
        return Fail("record " + std::to_string(options.record) +
                        ": the data runs end before the stream's size; the bytes they hold were "
                        "written",
                    kExitSomeNotRecovered);
    return kExitOk;
}

}  // namespace qv
