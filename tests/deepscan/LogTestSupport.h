#pragma once

// Loading synthetic logs into a LogRecordStore, and a progress view that presses Stop.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/ProgressDialog.h"
#include "deepscan/ChangeSink.h"
#include "deepscan/LogRecordStore.h"
#include "platform/File.h"
#include "platform/TempFile.h"

namespace qv::test {

// Writes bytes into a private temporary file, as the scan's copy of the $LogFile.
inline void WriteLogCopy(File& copy, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(MakeTempFile(copy, "TLG"), 0);
    ASSERT_TRUE(copy.Write(bytes.data(), bytes.size()));
}

// A progress dialog that counts everything stepped (its bar never moves: the stage is huge).
struct CountingProgress {
    ProgressDialog dialog;
    CountingProgress() {
        dialog.SetStageCount(1);
        dialog.SetSteps(int64_t{1} << 50);
    }
    uint64_t Stepped() const { return dialog.Accumulated(); }
};

inline int LoadBytes(LogRecordStore& store, const std::vector<uint8_t>& bytes,
                     ProgressDialog& progress, uint32_t clusterSize = 4096,
                     uint32_t recordSize = 1024) {
    File copy;
    WriteLogCopy(copy, bytes);
    return store.Load(copy, clusterSize, 512, recordSize, progress);
}

inline int LoadBytes(LogRecordStore& store, const std::vector<uint8_t>& bytes) {
    CountingProgress progress;
    return LoadBytes(store, bytes, progress.dialog);
}

// Presses Stop when the bar has advanced a given number of times.
class StoppingView final : public ProgressView {
public:
    explicit StoppingView(int stopAt) : stopAt_(stopAt) {}
    void Attach(ProgressDialog* dialog) { dialog_ = dialog; }
    void SetStatusText(const std::u16string&) override {}
    void SetTitle(const std::u16string&) override {}
    void StepBar() override {
        if (++advances_ == stopAt_ && dialog_) dialog_->Stop();
    }
    void Close(int) override {}
    int Advances() const { return advances_; }

private:
    ProgressDialog* dialog_ = nullptr;
    int stopAt_;
    int advances_ = 0;
};

// Remembers every change a rollback hands on.
struct RecordedChange {
    RecordChange change;
    std::vector<uint8_t> data;
};
class RecordingSink final : public ChangeSink {
public:
    int ApplyChange(uint64_t, uint32_t, uint32_t, ByteSpan, int32_t) override {
        ++plainCalls;
        return 0;
    }
    int ApplyRecordChange(const RecordChange& change) override {
        changes.push_back({change, std::vector<uint8_t>(change.data.begin(), change.data.end())});
        changes.back().change.data = {};
        return 1;
    }
    std::vector<uint64_t> Lsns() const {
        std::vector<uint64_t> out;
        for (const auto& c : changes)
            out.push_back(c.change.lsn);
        return out;
    }
    std::vector<RecordedChange> changes;
    int plainCalls = 0;
};

}  // namespace qv::test
