#include "support/ScanHarness.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "app/ProgressDialog.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"
#include "volume/VolumeReader.h"

namespace qv::test {

std::unique_ptr<ScanSession> OpenSession(std::unique_ptr<VolumeReader> reader, bool advanced) {
    ProgressDialog progress;
    auto opened = ScanSession::Open(std::move(reader), ScanOptions{advanced, u"X:"}, progress);
    EXPECT_TRUE(opened) << "the session does not open: " << (opened ? "" : opened.error().Text());
    return opened ? std::move(*opened) : nullptr;
}

std::vector<DeletedFile> FindAll(ScanSession& session) {
    ProgressDialog progress;
    DeletedFileList list;
    const Status found = session.FindDeletedFiles(list, progress);
    EXPECT_TRUE(found) << found.error().Text();
    return list.files;
}

ScanHarness::ScanHarness() {
    Log::Global().Attach(&pane);
    context.files = &list;
    context.outcomes = &outcomes;
    context.prompts = &prompts;
}

ScanHarness::~ScanHarness() {
    context.session.reset();
    Log::Global().Attach(nullptr);
}

void ScanHarness::Scan(const std::string& image, bool advanced, char16_t letter) {
    progress = std::make_unique<ProgressDialog>(&view);
    if (beforeRun) beforeRun(*progress);
    context.progress = progress.get();
    context.source = Source{FromUtf8(image)};
    context.scanOptions.advanced = advanced;
    context.scanOptions.volumeName = std::u16string(1, letter) + u":";
    context.RunScan();
}

void ScanHarness::Recover(const std::u16string& destination, const std::vector<uint64_t>& records,
                          bool recreatePaths) {
    progress = std::make_unique<ProgressDialog>(&view);
    if (beforeRun) beforeRun(*progress);
    context.progress = progress.get();
    context.chosen.clear();
    // The window's list after a scan: newest record first.
    for (auto it = list.files.rbegin(); it != list.files.rend(); ++it)
        if (std::find(records.begin(), records.end(), it->record) != records.end())
            context.chosen.push_back(*it);
    context.recovery.destination = TidyDestination(destination);
    context.recovery.recreatePaths = recreatePaths;
    outcomes.all.clear();
    context.RunRecovery();
}

const DeletedFile* ScanHarness::Find(uint64_t record) const {
    const auto found = std::ranges::find(list.files, record, &DeletedFile::record);
    return found == list.files.end() ? nullptr : &*found;
}

}  // namespace qv::test
