// The whole program from its window, on a fixture image: choose the drive, scan, sort by the
// headings, tick, recover with the destination dialog, its options and the overwrite prompt
// answered as a person would, read the summary, save the log. The Sleuth Kit's manifest of the
// image is the oracle. Also: a folder whose name holds a backslash, scanned and recovered as the
// one folder it is; the keys, Quit's question, Help, the filter bar and the drive entries.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <fstream>
#include <map>
#include <set>

#include "UiTestSupport.h"
#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/Sha256.h"
#include "ui/AboutBox.h"
#include "ui/AboutPage.h"
#include "ui/DriveChooser.h"
#include "ui/FilterBar.h"
#include "ui/Help.h"
#include "ui/LogPage.h"
#include "ui/MainDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/QtText.h"
#include "ui/ResultSheet.h"
#include "ui/SortHeader.h"
#include "ui/SummaryBar.h"
#include "ui/UndeletePage.h"
#include "ui/UndeleteToDialog.h"

namespace qv {
namespace {

using test::ModalScript;

// The log's messages without their time stamps.
std::vector<std::string> LogMessages() {
    std::vector<std::string> lines;
    const std::string text = ToUtf8(Log::Global().Text());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        lines.push_back(line.size() > 21 ? line.substr(21) : line);
        start = end + 1;
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

constexpr int kName = static_cast<int>(Column::kName);
constexpr int kSize = static_cast<int>(Column::kSize);
constexpr int kPath = static_cast<int>(Column::kPath);

// Selects the chooser's entry of an image; its letter (0 when it is not offered).
char16_t ChooseImage(MainDialog& dialog, const std::string& image) {
    QComboBox* chooser = dialog.DriveChooser();
    for (int i = 0; i < chooser->count(); ++i) {
        const Drive drive = chooser->itemData(i).value<Drive>();
        if (drive.source.path == FromUtf8(image)) {
            chooser->setCurrentIndex(i);
            return drive.letter;
        }
    }
    return 0;
}

// The text the list shows in a row and column.
QString Shown(UndeletePage& page, int row, int column) {
    const QAbstractItemModel* shown = page.List()->model();
    return shown->data(shown->index(row, column)).toString();
}

// The sort image a heading shows: 0 up, 1 down, -1 none.
int HeadingImage(UndeletePage& page, int column) {
    return page.List()
        ->model()
        ->headerData(column, Qt::Horizontal, ResultModel::kSortImageRole)
        .toInt();
}

void Tick(UndeletePage& page, int row) {
    QAbstractItemModel* shown = page.List()->model();
    shown->setData(shown->index(row, kName), Qt::Checked, Qt::CheckStateRole);
}

void ClickHeading(UndeletePage& page, int column) {
    SortHeader* header = page.Header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

std::vector<uint64_t> Sizes(UndeletePage& page) {
    std::vector<uint64_t> sizes;
    for (int r = 0; r < page.Sorted().rowCount(); ++r)
        sizes.push_back(page.Sorted().File(r).size);
    return sizes;
}

std::vector<std::u16string> Names(UndeletePage& page) {
    std::vector<std::u16string> names;
    for (int r = 0; r < page.Sorted().rowCount(); ++r)
        names.push_back(FromQString(Shown(page, r, kName)));
    return names;
}

struct Expected {
    std::map<uint64_t, test::ManifestRow> files;  // by record: the file's own row
    std::vector<test::ManifestRow> streams;       // named streams
};

Expected ReadExpected(const std::string& manifest) {
    Expected e;
    for (const auto& row : test::ReadManifest(manifest)) {
        if (row.record < 24) continue;  // the volume's own metadata records are never listed
        if (row.IsNamedStream())
            e.streams.push_back(row);
        else
            e.files[row.record] = row;
    }
    return e;
}

// Where a row's file is recovered to below dest with its folders: the Path column without its
// drive, with "/" between folders.
std::string RecoveredPath(const std::string& dest, const QString& pathColumn, const QString& name) {
    QString folders = pathColumn.mid(3);  // "X:\"
    folders.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return dest + "/" + folders.toStdString() + name.toStdString();
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { Log::Global().SetClockForTesting(nullptr); }
};

TEST_F(MainWindow, ScanSortTickRecoverAndSaveTheLog) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    QV_REQUIRE_FIXTURE(manifest, "rich-4k.deleted.tsv");
    const Expected expected = ReadExpected(manifest);

    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Log::Global().Clear();
    const char16_t letter = ChooseImage(dialog, image);
    ASSERT_NE(letter, 0);
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":";

    // Scan: returns when the scan has ended and its window has closed.
    QTest::mouseClick(dialog.ScanButton(), Qt::LeftButton);
    UndeletePage& page = *dialog.Sheet()->Undelete();
    SortedResults& shown = page.Sorted();
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
    const auto log = LogMessages();
    EXPECT_TRUE(Contains(log, "Searching deleted files on " + drive + " ..."));
    EXPECT_TRUE(Contains(log, "Scan finished"));

    // Every deleted file of the manifest is listed once, with its name, size and folder path.
    ASSERT_EQ(shown.rowCount(), static_cast<int>(expected.files.size()));
    std::set<uint64_t> seen;
    for (int r = 0; r < shown.rowCount(); ++r) {
        const uint64_t record = shown.File(r).record;
        EXPECT_TRUE(seen.insert(record).second) << "record " << record << " listed twice";
        const auto it = expected.files.find(record);
        ASSERT_NE(it, expected.files.end()) << "record " << record << " is not deleted";
        EXPECT_EQ(shown.File(r).size, it->second.size) << record;
        if (!it->second.IsOrphan()) {
            EXPECT_EQ(Shown(page, r, kName).toStdString(), it->second.name);
            const size_t slash = it->second.path.rfind('/');
            std::string folders =
                slash == std::string::npos ? "" : it->second.path.substr(0, slash + 1);
            std::replace(folders.begin(), folders.end(), '/', '\\');
            EXPECT_EQ(Shown(page, r, kPath).toStdString(), drive + "\\" + folders) << record;
        }
    }

    // After the scan: by name, ascending, code unit by code unit; the up image on Name only.
    const auto names = Names(page);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(HeadingImage(page, kName), 0);
    for (int c = 1; c < ResultModel::kColumns; ++c)
        EXPECT_EQ(HeadingImage(page, c), -1) << c;

    // Size once: smallest first, up image; again: largest first, down image.
    ClickHeading(page, kSize);
    auto sizes = Sizes(page);
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
    EXPECT_EQ(HeadingImage(page, kSize), 0);
    EXPECT_EQ(HeadingImage(page, kName), -1);
    ClickHeading(page, kSize);
    sizes = Sizes(page);
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));
    EXPECT_NE(sizes.front(), sizes.back());
    EXPECT_EQ(HeadingImage(page, kSize), 1);
    // Name: ascending by name again, and Size loses its image.
    ClickHeading(page, kName);
    EXPECT_EQ(Names(page), names);
    EXPECT_EQ(HeadingImage(page, kSize), -1);
    EXPECT_EQ(HeadingImage(page, kName), 0);

    // Select all, then Undelete into a folder typed with trailing blanks.
    const int files = shown.rowCount();
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("%1 files, 0 ticked").arg(files));
    QTest::mouseClick(page.SelectAllButton(), Qt::LeftButton);
    for (int r = 0; r < shown.rowCount(); ++r)
        ASSERT_EQ(shown.data(shown.index(r, kName), Qt::CheckStateRole).value<Qt::CheckState>(),
                  Qt::Checked)
            << r;
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("%1 files, %1 ticked").arg(files));
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string dest = temp.filePath(QStringLiteral("out")).toStdString();
    {
        ModalScript script;
        script.Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral("Undelete To"));
            EXPECT_TRUE(d->PathEdit()->text().isEmpty());
            EXPECT_FALSE(d->PathnamesBox()->isChecked());
            EXPECT_EQ(d->Prompt()->text(),
                      QStringLiteral("Recover %1 ticked files to:").arg(files));
            d->PathEdit()->setText(QString::fromStdString(dest) + QStringLiteral("  "));
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(page.UndeleteButton(), Qt::LeftButton);
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
    }
    EXPECT_EQ(ToUtf8(page.Context().recovery.destination), dest + "/");
    EXPECT_TRUE(page.Context().recovery.recreatePaths);
    EXPECT_FALSE(page.Context().recovery.keepTimes);
    EXPECT_EQ(page.Context().recovery.existingFile, ExistingFile::kAsk);

    // Every file holds the bytes The Sleuth Kit reads for it, in its folder below dest.
    std::map<std::string, std::string> recoveredShaByName;
    int checkedFiles = 0;
    for (int r = 0; r < shown.rowCount(); ++r) {
        const auto& want = expected.files.at(shown.File(r).record);
        if (want.IsOrphan()) continue;
        const std::string path = RecoveredPath(dest, Shown(page, r, kPath), Shown(page, r, kName));
        ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path))) << path;
        EXPECT_EQ(test::Sha256OfFile(path), want.sha256) << path;
        recoveredShaByName[path] = want.sha256;
        ++checkedFiles;
    }
    EXPECT_GT(checkedFiles, 500);
    for (const auto& stream : expected.streams) {
        if (stream.IsOrphan()) continue;  // its file's folder is not known
        const std::string path = dest + "/" + stream.path;
        EXPECT_EQ(test::Sha256OfFile(path), stream.sha256) << path;
    }
    auto lines = LogMessages();
    EXPECT_TRUE(Contains(lines, "Start recover"));
    EXPECT_TRUE(Contains(lines, "All files are processed, recover end"));
    EXPECT_FALSE(Contains(lines, "Canceled by user"));
    // The summary says it above the list without opening the Log page; its button does.
    const int recovered = page.Context().summary.recovered;
    EXPECT_EQ(recovered, files + static_cast<int>(expected.streams.size()));
    EXPECT_TRUE(page.Summary()->isVisible());
    EXPECT_EQ(page.Summary()->Text()->text(),
              QStringLiteral("Undelete: %1 recovered").arg(recovered));
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
    page.Summary()->LogButton()->click();
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 1);
    dialog.Sheet()->SetActivePage(0);

    // Again with two files ticked: the first is overwritten (Yes), the second is saved under
    // another name (No, then the save dialog).
    QTest::mouseClick(page.ClearAllButton(), Qt::LeftButton);
    std::set<uint64_t> withStreams;
    for (const auto& stream : expected.streams)
        withStreams.insert(stream.record);
    int first = -1, second = -1;
    for (int r = 0; r < shown.rowCount() && second < 0; ++r) {
        const auto& want = expected.files.at(shown.File(r).record);
        if (want.IsOrphan() || want.size == 0 || withStreams.count(want.record)) continue;
        (first < 0 ? first : second) = r;
    }
    ASSERT_GE(second, 0);
    // Ticked second one first: the list's order decides which is asked about first.
    Tick(page, second);
    Tick(page, first);
    const std::string firstPath =
        RecoveredPath(dest, Shown(page, first, kPath), Shown(page, first, kName));
    const std::string secondPath =
        RecoveredPath(dest, Shown(page, second, kPath), Shown(page, second, kName));
    const std::string renamed = temp.filePath(QStringLiteral("renamed.bin")).toStdString();
    std::vector<std::string> asked;
    {
        ModalScript script;
        script
            .Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
                d->PathEdit()->setText(QString::fromStdString(dest));
                d->OkButton()->click();
            })
            .Then<QMessageBox>([&](QMessageBox* box) {
                asked.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
                box->button(QMessageBox::Yes)->click();
            })
            .Then<QMessageBox>([&](QMessageBox* box) {
                asked.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
                box->button(QMessageBox::No)->click();
            })
            .Then<QFileDialog>([&](QFileDialog* d) {
                EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
                test::TypeAndAccept(d, QString::fromStdString(renamed));
            });
        page.UndeleteButton()->click();
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
    }
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "Warnning|" + firstPath + " existed, Overwrite?");
    EXPECT_EQ(asked[1], "Warnning|" + secondPath + " existed, Overwrite?");
    EXPECT_EQ(test::Sha256OfFile(firstPath), recoveredShaByName[firstPath]);
    EXPECT_EQ(test::Sha256OfFile(renamed), recoveredShaByName[secondPath]);
    lines = LogMessages();
    const std::string secondName = Shown(page, second, kName).toStdString();
    EXPECT_TRUE(Contains(lines, "Recover " + secondName + " to " + renamed + " success"));

    // The same two with "If a file exists" answered in the dialog: no question at all. Skip
    // keeps what is there; Overwrite with "Restore timestamps" writes them with their old times.
    const struct {
        int existing;
        bool restoreTimes;
        const char* summary;
    } answered[] = {{2, false, "Undelete: 0 recovered, 2 skipped"},
                    {1, true, "Undelete: 2 recovered"}};
    for (const auto& a : answered) {
        ModalScript script;
        script.Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            EXPECT_EQ(d->IfExistsBox()->currentText(), QStringLiteral("Ask"));  // each time
            EXPECT_FALSE(d->TimestampsBox()->isChecked());
            d->PathEdit()->setText(QString::fromStdString(dest));
            d->IfExistsBox()->setCurrentIndex(a.existing);
            d->TimestampsBox()->setChecked(a.restoreTimes);
            d->OkButton()->click();
        });
        page.UndeleteButton()->click();
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
        EXPECT_EQ(page.Summary()->Text()->text().toStdString(), a.summary);
        const QDateTime written = QFileInfo(QString::fromStdString(firstPath)).lastModified();
        EXPECT_EQ(written.secsTo(QDateTime::currentDateTime()) > 3600, a.restoreTimes);
    }
    EXPECT_EQ(test::Sha256OfFile(firstPath), recoveredShaByName[firstPath]);

    // Save the log: a name without extension gets ".log"; the file is the pane's text in UTF-8.
    dialog.Sheet()->SetActivePage(1);
    LogPage& logPage = *dialog.Sheet()->Log();
    const QString saved = temp.filePath(QStringLiteral("session"));
    {
        ModalScript script;
        script.Then<QFileDialog>([&](QFileDialog* d) {
            EXPECT_EQ(d->defaultSuffix(), QStringLiteral("log"));
            EXPECT_TRUE(d->nameFilters().join(QLatin1Char(';')).contains(QStringLiteral("*.log")));
            test::TypeAndAccept(d, saved);
        });
        QTest::mouseClick(logPage.SaveButton(), Qt::LeftButton);
        EXPECT_TRUE(script.Done());
    }
    const std::vector<uint8_t> bytes =
        test::ReadWholeFile((saved + QStringLiteral(".log")).toStdString());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), logPage.Pane()->toPlainText().toStdString());
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("Scan finished\n"), std::string::npos);
}

TEST_F(MainWindow, AFolderNamedWithABackslashStaysOneFolderInTheListAndOnRecovery) {
    // NTFS allows '\\' in a name; on the Path column it reads like two folders, but the list
    // keeps the folder's own name and the recovery makes that one folder.
    constexpr uint64_t kRoot = test::NtfsBuilder::kRootReference;
    test::NtfsBuilder volume;
    volume.SetRecord(30, test::RecordBuilder()
                             .RecordNumber(30)
                             .InUse()
                             .Directory()
                             .FileName(kRoot, u"a\\b")
                             .Build());
    volume.SetRecord(31, test::RecordBuilder()
                             .RecordNumber(31)
                             .FileName(30 | (uint64_t{1} << 48), u"inner.txt")
                             .ResidentData({'h', 'e', 'l', 'l', 'o'})
                             .Build());
    const std::string image = volume.WriteImage("backslash.img");
    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    const char16_t letter = ChooseImage(dialog, image);
    ASSERT_NE(letter, 0);
    dialog.AdvancedScan()->setChecked(false);
    dialog.OnScan();
    UndeletePage& page = *dialog.Sheet()->Undelete();
    ASSERT_EQ(page.Sorted().rowCount(), 1);
    EXPECT_EQ(Shown(page, 0, kName), QStringLiteral("inner.txt"));
    EXPECT_EQ(Shown(page, 0, kPath).toStdString(), std::string(1, char(letter)) + ":\\a\\b\\");
    EXPECT_EQ(page.Sorted().File(0).folder.Names(), std::vector<std::u16string>{u"a\\b"});

    Tick(page, 0);
    QTemporaryDir temp;
    const QString dest = temp.filePath(QStringLiteral("out"));
    ModalScript script;
    script.Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
        d->PathEdit()->setText(dest);
        d->OkButton()->click();
    });
    page.UndeleteButton()->click();
    EXPECT_TRUE(script.Done());
    const std::vector<uint8_t> bytes =
        test::ReadWholeFile((dest + QStringLiteral("/a\\b/inner.txt")).toStdString());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello");
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/a")));
}

TEST_F(MainWindow, StopDuringAScanListsNothingAndTheNextScanStartsAfresh) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    ChooseImage(dialog, image);
    UndeletePage& page = *dialog.Sheet()->Undelete();

    // A first scan fills the list, so that the cancelled one has something to take away.
    dialog.OnScan();
    ASSERT_GT(page.Model().Count(), 0);
    Log::Global().Clear();

    // Stop is pressed as the window comes up, before the worker has done anything.
    bool stopped = false;
    page.beforeWorker = [&](ProgressWindow& window, ProgressDialog& progress) {
        QTest::mouseClick(window.StopButton(), Qt::LeftButton);
        QTest::mouseClick(window.StopButton(), Qt::LeftButton);  // twice is once
        stopped = progress.IsCancelled();
    };
    dialog.OnScan();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(page.Model().Count(), 0);
    EXPECT_EQ(page.Context().session, nullptr);
    const auto lines = LogMessages();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Contains(lines, "Canceled by user"));
    EXPECT_FALSE(Contains(lines, "Scan finished"));

    // A new window, a new cancel flag.
    page.beforeWorker = nullptr;
    dialog.OnScan();
    EXPECT_GT(page.Model().Count(), 0);
    EXPECT_TRUE(Contains(LogMessages(), "Scan finished"));
}

TEST_F(MainWindow, UndeleteCancelledDoesNothingAndWithNothingTickedEndsAtOnce) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    ChooseImage(dialog, image);
    dialog.OnScan();
    UndeletePage& page = *dialog.Sheet()->Undelete();
    ASSERT_GT(page.Model().Count(), 0);
    Log::Global().Clear();
    QTemporaryDir temp;
    const QString dest = temp.filePath(QStringLiteral("new/folder"));
    for (const bool ok : {false, true}) {
        ModalScript script;
        script.Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            EXPECT_EQ(d->Prompt()->text(), QStringLiteral("Recover 0 ticked files to:"));
            d->PathEdit()->setText(dest);
            (ok ? d->OkButton() : d->CancelButton())->click();
        });
        page.UndeleteButton()->click();
        EXPECT_TRUE(script.Done());
        const std::vector<std::string> logged =
            ok ? std::vector<std::string>{"Start recover", "All files are processed, recover end"}
               : std::vector<std::string>{};
        EXPECT_EQ(LogMessages(), logged);
        EXPECT_EQ(page.Summary()->isVisible(), ok);
    }
    EXPECT_TRUE(QDir(dest).exists());  // the destination is made all the same
    EXPECT_TRUE(QDir(dest).isEmpty());
    EXPECT_EQ(page.Summary()->Text()->text(), QStringLiteral("Undelete: 0 recovered"));
}

TEST_F(MainWindow, AScanThatCannotStartSaysWhyAndLogsTheCause) {
    const std::string missing =
        QDir::temp().filePath(QStringLiteral("no-such-volume.img")).toStdString();
    const struct {
        Drive drive;  // letter 0: none is chosen
        QString entry;
        std::string said;
        std::vector<std::string> log;
    } cases[] = {
        {{}, {}, "Please select the disk to scan|No disk is selected", {}},
        // A drive that has gone since the list was made: being told to become an
        // administrator would be wrong here, the file is not there.
        {Drive{u'Y', u"Gone", Source{FromUtf8(missing)}},
         QStringLiteral("Gone(Y:) - NTFS"),
         "Error|Open disk Y: failed.\ncannot open " + missing + ": No such file or directory",
         {"Y: cannot open " + missing + ": No such file or directory", "open disk Y: failed."}},
        {Drive{u'Y', u"blank.img", Source{u"/blank.img"}, true},
         QStringLiteral("(Y:) blank.img - no NTFS partition"),
         "No NTFS partition|blank.img holds no NTFS partition: there is nothing to scan on it.",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        MainDialog dialog({});
        dialog.show();
        dialog.Sheet()->SetActivePage(2);
        if (c.drive.letter) {
            dialog.FillDriveChooser({c.drive});
            ASSERT_EQ(dialog.DriveChooser()->itemText(0), c.entry);
            dialog.DriveChooser()->setCurrentIndex(0);
        }
        Log::Global().Clear();
        ModalScript script;
        std::string said;
        script.Then<QMessageBox>([&](QMessageBox* box) {
            said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        });
        QTest::mouseClick(dialog.ScanButton(), Qt::LeftButton);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(said, c.said);
        for (const std::string& line : c.log)
            EXPECT_TRUE(Contains(LogMessages(), line)) << line;
        EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
        EXPECT_EQ(dialog.Sheet()->Undelete()->Model().Count(), 0);
    }
}

TEST_F(MainWindow, OnlyImagesThatOpenAsNtfsAreListedUnderTheirNamesAndTheOthersAreNamed) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    QTemporaryDir temp;
    const std::string missing = temp.filePath(QStringLiteral("missing.img")).toStdString();
    const std::string folder = temp.path().toStdString();
    const std::string zeros = temp.filePath(QStringLiteral("zeros.img")).toStdString();
    std::ofstream(zeros, std::ios::binary) << std::string(8192, '\0');
    ModalScript script;
    std::string said;
    script.Then<QMessageBox>([&](QMessageBox* box) {
        said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    const std::string unlabelled = test::NtfsBuilder().WriteImage("unlabelled.img");
    MainDialog dialog({FromUtf8(image), FromUtf8(unlabelled), FromUtf8(missing), FromUtf8(folder),
                       FromUtf8(zeros)});
    dialog.show();
    QTRY_VERIFY(script.Done());
    QStringList entries;
    for (int i = 0; i < dialog.DriveChooser()->count(); ++i)
        entries.append(dialog.DriveChooser()->itemText(i));
    // The good images, under their labels, or their file names where the volume has none;
    // nothing else.
    const QRegularExpression good(
        QStringLiteral("^(rich-4k|[0-9]+-unlabelled\\.img)\\([C-Z]:\\) - NTFS$"));
    EXPECT_EQ(entries.filter(good).size(), 2) << entries.join(',').toStdString();
    EXPECT_TRUE(entries.filter(QStringLiteral("missing")).isEmpty());
    EXPECT_TRUE(entries.filter(QStringLiteral("zeros")).isEmpty());
    const QStringList lines = QString::fromStdString(said).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << said;
    EXPECT_EQ(lines[0].toStdString(), "Error|These images cannot be scanned:");
    EXPECT_EQ(lines[1].toStdString(), "cannot open " + missing + ": No such file or directory");
    EXPECT_EQ(lines[2].toStdString(), "cannot open " + folder + ": Is a directory");
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("not an NTFS volume: "))) << said;
    // Each good entry scans its own image.
    EXPECT_NE(ChooseImage(dialog, image), 0);
    EXPECT_TRUE(good.match(dialog.DriveChooser()->currentText()).hasMatch());
    EXPECT_NE(ChooseImage(dialog, unlabelled), 0);
    EXPECT_TRUE(good.match(dialog.DriveChooser()->currentText()).hasMatch());
}

TEST_F(MainWindow, StartsWithItsOptionsPagesAndSize) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_TRUE(dialog.AdvancedScan()->isChecked());
    EXPECT_EQ(dialog.size(), QSize(800, 600));
    EXPECT_FALSE(dialog.windowIcon().pixmap(32, 32).isNull());  // the picture really loads
    ResultSheet* sheet = dialog.Sheet();
    ASSERT_EQ(sheet->Tabs()->count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sheet->Tabs()->tabText(i),
                  (QStringList{QStringLiteral("Deleted files"), QStringLiteral("Log"),
                               QStringLiteral("About")}[i]));
    EXPECT_EQ(sheet->ActivePage(), 0);
    // The log has its pane before anything can write; About is made when first shown.
    ASSERT_NE(sheet->Log(), nullptr);
    EXPECT_NE(Log::Global().Pane(), nullptr);
    EXPECT_EQ(sheet->About(), nullptr);
    sheet->Tabs()->setCurrentIndex(2);
    ASSERT_NE(sheet->About(), nullptr);
    EXPECT_TRUE(sheet->About()->isVisible());
    EXPECT_FALSE(sheet->Undelete()->isVisible());
    const auto labels = sheet->About()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("Quorvane Version 1.0"));
    QTableView* list = sheet->Undelete()->List();
    for (int c = 0; c < ResultModel::kColumns - 1; ++c)  // the last one stretches
        EXPECT_EQ(list->horizontalHeader()->sectionSize(c), ResultModel::ColumnWidths()[c]);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name  "));
    EXPECT_EQ(sheet->Undelete()->Counts()->text(), QStringLiteral("0 files, 0 ticked"));
}

// A volume of three deleted files, two of them in the folder "docs", all held in their records.
std::string ThreeFileVolume() {
    constexpr uint64_t kRoot = test::NtfsBuilder::kRootReference;
    constexpr uint64_t kDocs = 30 | (uint64_t{1} << 48);
    test::NtfsBuilder volume;
    volume.SetRecord(30, test::RecordBuilder()
                             .RecordNumber(30)
                             .InUse()
                             .Directory()
                             .FileName(kRoot, u"docs")
                             .Build());
    const struct {
        uint64_t record, parent;
        const char16_t* name;
    } files[] = {{31, kDocs, u"inner.txt"}, {32, kRoot, u"notes.TXT"}, {33, kDocs, u"photo.jpg"}};
    for (const auto& f : files)
        volume.SetRecord(f.record, test::RecordBuilder()
                                       .RecordNumber(f.record)
                                       .FileName(f.parent, f.name)
                                       .ResidentData({'x'})
                                       .Build());
    return volume.WriteImage("three.img");
}

TEST_F(MainWindow, KeysFilterTheListAndQuitAsksWhileFilesAreTicked) {
    const std::string image = ThreeFileVolume();
    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    ASSERT_NE(ChooseImage(dialog, image), 0);
    dialog.AdvancedScan()->setChecked(false);
    dialog.OnScan();
    QApplication::setActiveWindow(&dialog);  // back from the progress window
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    UndeletePage& page = *dialog.Sheet()->Undelete();
    FilterBar& filters = *page.Filters();
    ASSERT_EQ(page.Model().Count(), 3);
    EXPECT_EQ(Names(page), (std::vector<std::u16string>{u"inner.txt", u"notes.TXT", u"photo.jpg"}));

    // Ctrl+F goes to the search field; what is typed filters names and paths as it is typed.
    dialog.Sheet()->SetActivePage(1);
    QTest::keyClick(&dialog, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
    ASSERT_EQ(QApplication::focusWidget(), filters.SearchField());
    QTest::keyClicks(filters.SearchField(), QStringLiteral("txt"));
    QTRY_COMPARE(page.Sorted().rowCount(), 2);
    EXPECT_EQ(Names(page), (std::vector<std::u16string>{u"inner.txt", u"notes.TXT"}));
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("2 of 3 shown, 0 ticked"));
    // Select all ticks the rows shown; Enter in the field does not end the window.
    QTest::mouseClick(page.SelectAllButton(), Qt::LeftButton);
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("2 of 3 shown, 2 ticked"));
    QTest::keyClick(filters.SearchField(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    // Escape clears the search, not the window; the ticks stay.
    QTest::keyClick(filters.SearchField(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(filters.SearchField()->text().isEmpty());
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("3 files, 2 ticked"));
    QTest::keyClicks(filters.SearchField(), QStringLiteral("*docs\\*.jpg"));
    QTRY_COMPARE(page.Sorted().rowCount(), 1);
    QTest::keyClick(filters.SearchField(), Qt::Key_Escape);

    // The Type box offers the types there are; types and states filter at once.
    QStringList types;
    for (int i = 0; i < filters.TypeBox()->count(); ++i)
        types.append(filters.TypeBox()->itemText(i));
    EXPECT_EQ(types, (QStringList{QStringLiteral("All types"), QStringLiteral("jpg"),
                                  QStringLiteral("txt")}));
    filters.TypeBox()->setCurrentIndex(1);
    EXPECT_EQ(Names(page), (std::vector<std::u16string>{u"photo.jpg"}));
    filters.TypeBox()->setCurrentIndex(0);
    const FileState state = page.Model().File(0).state;
    filters.StateBox()->setCurrentText(QString::fromLatin1(StateName(state).data()));
    EXPECT_EQ(page.Sorted().rowCount(), 3);
    filters.StateBox()->setCurrentText(QString::fromLatin1(
        StateName(state == FileState::kIntact ? FileState::kOverwritten : FileState::kIntact)
            .data()));
    EXPECT_EQ(page.Sorted().rowCount(), 0);
    QTest::mouseClick(page.ClearAllButton(), Qt::LeftButton);  // on no row shown
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("0 of 3 shown, 2 ticked"));
    filters.StateBox()->setCurrentIndex(0);

    // Quit, Ctrl+Q and the close box ask while files are ticked; No (the default) keeps the
    // window and its list.
    const std::function<void()> quits[] = {
        [&] { QTest::mouseClick(dialog.QuitButton(), Qt::LeftButton); },
        [&] { QTest::keyClick(&dialog, Qt::Key_Q, Qt::ControlModifier); },
        [&] { dialog.close(); },
    };
    const auto activate = [&] {  // a message box took the activation
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    };
    for (const auto& quit : quits) {
        activate();
        ModalScript script;
        script.Then<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), QStringLiteral("2 files are ticked. Quit anyway?"));
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(QMessageBox::No)->click();
        });
        quit();
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(dialog.isVisible());
    }
    {
        ModalScript script;
        script.Then<QMessageBox>([&](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        activate();
        QTest::keyClick(&dialog, Qt::Key_Q, Qt::ControlModifier);
        EXPECT_TRUE(script.Done());
        EXPECT_FALSE(dialog.isVisible());
    }
    // With nothing ticked, Quit asks nothing.
    page.ClearAll();
    dialog.show();
    QTest::mouseClick(dialog.QuitButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

// Stands in for the desktop's URL handler: records what it is given and answers as told.
QList<QUrl> handedOn;
bool desktopTakesIt = true;
bool FakeOpenUrl(const QUrl& url) {
    handedOn.append(url);
    return desktopTakesIt;
}

TEST_F(MainWindow, HelpGoesToTheDesktopOrAWindowOfItsOwnOrSaysItIsMissing) {
    QTemporaryDir temp;
    const QString page = temp.filePath(QStringLiteral("help.html"));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><body><h1>Filter bar</h1></body></html>");
    file.close();
    const QString nothing = temp.filePath(QStringLiteral("nothing.html"));
    MainDialog dialog({});
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.openUrl = &FakeOpenUrl;

    // The desktop takes the page (F1 as well as the button).
    dialog.helpCandidates = {nothing, page};
    handedOn.clear();
    QTest::keyClick(&dialog, Qt::Key_F1);
    ASSERT_EQ(handedOn, QList<QUrl>{QUrl::fromLocalFile(page)});

    // No program takes it: our own window shows it.
    desktopTakesIt = false;
    QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
    desktopTakesIt = true;
    QTextBrowser* browser = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* b = top->findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
            b && top->isVisible())
            browser = b;
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Filter bar")));
    browser->window()->close();

    // Missing: a message names where it was looked for.
    dialog.helpCandidates = {nothing};
    ModalScript script;
    std::string said;
    script.Then<QMessageBox>([&](QMessageBox* box) {
        said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(handedOn.size(), 2);
    EXPECT_NE(said.find("Help|The help file help.html was not found"), std::string::npos) << said;
    EXPECT_NE(said.find("nothing.html"), std::string::npos);
}

TEST_F(MainWindow, TheShippedHelpPageIsFound) {
    const QString found = FindHelpFile(HelpFileCandidates());
    ASSERT_FALSE(found.isEmpty());
    QFile file(found);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("Undelete")));
    // Its pictures are beside it.
    const QRegularExpression image(QStringLiteral("<img[^>]*src=\"([^\"]+)\""));
    auto matches = image.globalMatch(html);
    ASSERT_TRUE(matches.hasNext());
    while (matches.hasNext()) {
        const QString src = matches.next().captured(1);
        EXPECT_TRUE(QFileInfo(QFileInfo(found).dir(), src).isFile()) << src.toStdString();
    }
}

TEST_F(MainWindow, TheContextMenuOpensTheAboutBox) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ModalScript script;
    QString entry, title, text;
    script
        .ThenPopup([&](QWidget* popup) {
            auto* menu = qobject_cast<QMenu*>(popup);
            ASSERT_NE(menu, nullptr);
            ASSERT_EQ(menu->actions().size(), 1);
            entry = menu->actions().front()->text();
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        })
        .Then<AboutBox>([&](AboutBox* box) {
            title = box->windowTitle();
            for (QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty()) text = label->text();
            QPushButton* ok = box->findChild<QPushButton*>();
            ASSERT_NE(ok, nullptr);
            EXPECT_EQ(ok->text(), QStringLiteral("OK"));
            ok->click();
        });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 20),
                            dialog.mapToGlobal(QPoint(400, 20)));
    QApplication::sendEvent(&dialog, &event);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(entry, QStringLiteral("&About Quorvane..."));
    EXPECT_EQ(title, QStringLiteral("About Quorvane"));
    EXPECT_EQ(text, QStringLiteral("Quorvane Version 1.0"));
}

}  // namespace
}  // namespace qv
