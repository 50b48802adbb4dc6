#include "support/ScanHarness.h"

#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"

namespace qv::test {

ScanHarness::ScanHarness() {
    Log::Global().Attach(&pane);
    context.list = &list;
    context.prompts = &prompts;
}

ScanHarness::~ScanHarness() {
    context.session.reset();
    context.ClearResults();
    Log::Global().Attach(nullptr);
}

void ScanHarness::Scan(const std::string& image, bool advanced) {
    ScanLetter(DriveTable::Global().Assign(FromUtf8(image)), advanced);
}

void ScanHarness::ScanLetter(char16_t letter, bool advanced) {
    progress = std::make_unique<ProgressDialog>(&view);
    if (beforeRun) beforeRun(*progress);
    context.progress = progress.get();
    context.driveLetter = letter;
    context.advanced = advanced ? 1 : 0;
    context.RunScan();
}

void ScanHarness::Recover(const std::u16string& destination, bool recreatePaths) {
    progress = std::make_unique<ProgressDialog>(&view);
    if (beforeRun) beforeRun(*progress);
    context.progress = progress.get();
    context.destination = TidyDestination(destination);
    context.recreatePaths = recreatePaths ? 1 : 0;
    context.RunRecovery();
}

const DeletedFileEntry* ScanHarness::Find(uint64_t record) const {
    for (const auto& row : list.Rows())
        if (row.data && row.data->RecordNumber() == record) return row.data;
    return nullptr;
}

}  // namespace qv::test
