// The whole program from its window on a fixture image: scan, sort, tick, recover with the dialogs
// answered as a person would, files held against The Sleuth Kit's manifest; and the keys, Quit's
// question, Help, the filter bar, the drive entries and a folder whose name holds a backslash.
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
#include "support/FakeFrontEnd.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/Sha256.h"
#include "ui/AboutBox.h"
#include "ui/AboutPage.h"
#include "ui/FilterBar.h"
#include "ui/Help.h"
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
using test::ScannedWindow;

// The log's messages without their time stamps.
std::vector<std::string> LogMessages() {
    test::MemoryLogPane copy;
    copy.Append(Log::Global().Text());
    return copy.Messages();
}

bool Logged(const std::string& message) {
    return std::ranges::count(LogMessages(), message) > 0;
}

constexpr int kName = static_cast<int>(Column::kName);
constexpr int kSize = static_cast<int>(Column::kSize);
constexpr int kPath = static_cast<int>(Column::kPath);

// The text the list shows in a row and column.
QString Shown(UndeletePage& page, int row, int column) {
    const QAbstractItemModel* shown = page.List()->model();
    return shown->data(shown->index(row, column)).toString();
}

void Tick(UndeletePage& page, int row) {
    QAbstractItemModel* shown = page.List()->model();
    shown->setData(shown->index(row, kName), Qt::Checked, Qt::CheckStateRole);
}

std::vector<std::u16string> Names(UndeletePage& page) {
    std::vector<std::u16string> names;
    for (int r = 0; r < page.Sorted().rowCount(); ++r)
        names.push_back(FromQString(Shown(page, r, kName)));
    return names;
}

// Where a row's file is recovered to below dest with its folders: the Path column without its
// drive, with "/" between folders.
std::string RecoveredPath(const std::string& dest, UndeletePage& page, int row) {
    const QString folders = Shown(page, row, kPath).mid(3).replace(u'\\', u'/');
    return dest + "/" + folders.toStdString() + Shown(page, row, kName).toStdString();
}

// A step that types dest into the Undelete To dialog, lets set() change its other controls,
// and presses OK.
std::function<void(UndeleteToDialog*)> Into(const QString& dest,
                                            std::function<void(UndeleteToDialog*)> set = {}) {
    return [dest, set](UndeleteToDialog* d) {
        d->PathEdit()->setText(dest);
        if (set) set(d);
        d->OkButton()->click();
    };
}

// A deleted file: in the folder (or in the root), its name and content.
using Deleted = std::tuple<bool, const char16_t*, std::string_view>;

// A volume with one folder (record 30, in the root) and deleted files from record 31 on, each
// held in its record.
std::string SmallVolume(const char* image, const char16_t* folder,
                        std::initializer_list<Deleted> files) {
    constexpr uint64_t kRoot = test::NtfsBuilder::kRootReference;
    test::NtfsBuilder volume;
    volume.SetRecord(
        30,
        test::RecordBuilder().RecordNumber(30).InUse().Directory().FileName(kRoot, folder).Build());
    uint64_t record = 31;
    for (const auto& [inFolder, name, content] : files) {
        volume.SetRecord(record, test::RecordBuilder()
                                     .RecordNumber(record)
                                     .FileName(inFolder ? 30 | (uint64_t{1} << 48) : kRoot, name)
                                     .ResidentData({content.begin(), content.end()})
                                     .Build());
        ++record;
    }
    return volume.WriteImage(image);
}

TEST(MainWindow, ScanSortTickRecoverAndAnswerTheOverwritePrompt) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    QV_REQUIRE_FIXTURE(manifest, "rich-4k.deleted.tsv");
    // The manifest's deleted files by record, and their named streams; the volume's own metadata
    // records are never listed.
    std::map<uint64_t, test::ManifestRow> expectedFiles;
    std::vector<test::ManifestRow> streams;
    for (const auto& row : test::ReadManifest(manifest)) {
        if (row.record >= 24 && row.IsNamedStream()) streams.push_back(row);
        if (row.record >= 24 && !row.IsNamedStream()) expectedFiles[row.record] = row;
    }

    MainDialog dialog({FromUtf8(image)});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Log::Global().Clear();
    const char16_t letter = test::ChooseImage(dialog, image);
    ASSERT_NE(letter, 0);
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":";

    // Scan: returns when the scan has ended and its window has closed.
    QTest::mouseClick(dialog.ScanButton(), Qt::LeftButton);
    UndeletePage& page = *dialog.Sheet()->Undelete();
    SortedResults& shown = page.Sorted();
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
    EXPECT_TRUE(Logged("Searching deleted files on " + drive + " ..."));
    EXPECT_TRUE(Logged("Scan finished"));

    // Every deleted file of the manifest reaches the list once. Each one's name, path, size and
    // content are held against the manifest where the scan owns them, in tests/integration.
    ASSERT_EQ(shown.rowCount(), static_cast<int>(expectedFiles.size()));
    std::set<uint64_t> listed, deleted;
    for (int r = 0; r < shown.rowCount(); ++r)
        listed.insert(shown.File(r).record);
    for (const auto& [record, row] : expectedFiles)
        deleted.insert(record);
    EXPECT_EQ(listed, deleted);

    // After the scan: by name, ascending, code unit by code unit. The image each heading shows
    // for a sort is ResultList's.
    EXPECT_TRUE(std::ranges::is_sorted(Names(page)));
    EXPECT_EQ(shown.sortColumn(), kName);
    EXPECT_EQ(shown.sortOrder(), Qt::AscendingOrder);
    // A click on Size: smallest first. A second one turning the order is the Export list test's.
    SortHeader* header = page.Header();
    const int x = header->sectionViewportPosition(kSize) + header->sectionSize(kSize) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    std::vector<uint64_t> sizes;
    for (int r = 0; r < shown.rowCount(); ++r)
        sizes.push_back(shown.File(r).size);
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
    EXPECT_NE(sizes.front(), sizes.back());
    EXPECT_EQ(shown.sortColumn(), kSize);
    EXPECT_EQ(shown.sortOrder(), Qt::AscendingOrder);

    // Two files in folders, not empty, without named streams: they are checked byte for byte,
    // and recovered again below.
    int first = -1, second = -1;
    for (int r = 0; r < shown.rowCount() && second < 0; ++r) {
        const auto& want = expectedFiles.at(shown.File(r).record);
        if (want.IsOrphan() || want.size == 0 || shown.File(r).hasNamedStreams) continue;
        (first < 0 ? first : second) = r;
    }
    ASSERT_GE(second, 0);

    // Select all, then Undelete into a folder typed with trailing blanks.
    const int files = shown.rowCount();
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("%1 files, 0 ticked").arg(files));
    QTest::mouseClick(page.SelectAllButton(), Qt::LeftButton);
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("%1 files, %1 ticked").arg(files));
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string dest = temp.filePath(QStringLiteral("out")).toStdString();
    const std::string firstPath = RecoveredPath(dest, page, first);
    const std::string secondPath = RecoveredPath(dest, page, second);
    const auto firstAsked = [&](UndeleteToDialog* d) {
        EXPECT_EQ(d->Prompt()->text(), QStringLiteral("Recover %1 ticked files to:").arg(files));
        d->PathEdit()->setText(QString::fromStdString(dest) + QStringLiteral("  "));
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    };
    EXPECT_TRUE(ModalScript().Then<UndeleteToDialog>(firstAsked).Run([&] {
        QTest::mouseClick(page.UndeleteButton(), Qt::LeftButton);
    }));
    EXPECT_EQ(ToUtf8(page.Context().recovery.destination), dest + "/");
    EXPECT_TRUE(page.Context().recovery.recreatePaths);
    EXPECT_FALSE(page.Context().recovery.keepTimes);
    EXPECT_EQ(page.Context().recovery.existingFile, ExistingFile::kAsk);

    // The ticked files reach the recovery: the count below is right, and files and a stream are
    // in their folders below dest with the bytes The Sleuth Kit reads. Every file and stream of
    // this image is held against the manifest in tests/integration; cli-tests.sh recovers a
    // whole volume into its folders.
    const std::string& firstSha = expectedFiles.at(shown.File(first).record).sha256;
    const std::string& secondSha = expectedFiles.at(shown.File(second).record).sha256;
    EXPECT_EQ(test::Sha256OfFile(firstPath), firstSha);
    EXPECT_EQ(test::Sha256OfFile(secondPath), secondSha);
    const auto stream =
        std::find_if(streams.begin(), streams.end(), [](const auto& s) { return !s.IsOrphan(); });
    ASSERT_NE(stream, streams.end());
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + stream->path), stream->sha256);
    // The summary says it above the list without opening the Log page; its button does.
    const int recovered = page.Context().summary.recovered;
    EXPECT_EQ(recovered, files + static_cast<int>(streams.size()));
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
    // Ticked second one first: the list's order decides which is asked about first.
    Tick(page, second);
    Tick(page, first);
    const std::string renamed = temp.filePath(QStringLiteral("renamed.bin")).toStdString();
    std::string askedFirst, askedSecond;
    EXPECT_TRUE(ModalScript()
                    .Then<UndeleteToDialog>(Into(QString::fromStdString(dest)))
                    .ThenMessage(askedFirst, QMessageBox::Yes)
                    .ThenMessage(askedSecond, QMessageBox::No)
                    .Then<QFileDialog>([&](QFileDialog* d) {
                        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
                        test::TypeAndAccept(d, QString::fromStdString(renamed));
                    })
                    .Run([&] { page.UndeleteButton()->click(); }));
    EXPECT_EQ(askedFirst, "Warnning|" + firstPath + " existed, Overwrite?");
    EXPECT_EQ(askedSecond, "Warnning|" + secondPath + " existed, Overwrite?");
    EXPECT_EQ(test::Sha256OfFile(firstPath), firstSha);
    EXPECT_EQ(test::Sha256OfFile(renamed), secondSha);
    const std::string secondName = Shown(page, second, kName).toStdString();
    EXPECT_TRUE(Logged("Recover " + secondName + " to " + renamed + " success"));

    // The same two with "If a file exists" answered in the dialog: no question at all. Skip
    // keeps what is there; Overwrite with "Restore timestamps" writes them with their old times.
    // The entry chosen, whether times are restored, and the summary.
    const std::tuple<int, bool, const char*> answered[] = {
        {2, false, "Undelete: 0 recovered, 2 skipped"}, {1, true, "Undelete: 2 recovered"}};
    for (const auto& [existing, restoreTimes, summary] : answered) {
        const auto set = [&](UndeleteToDialog* d) {
            EXPECT_EQ(d->IfExistsBox()->currentText(), QStringLiteral("Ask"));  // each time
            EXPECT_FALSE(d->TimestampsBox()->isChecked());
            d->IfExistsBox()->setCurrentIndex(existing);
            d->TimestampsBox()->setChecked(restoreTimes);
        };
        EXPECT_TRUE(
            ModalScript().Then<UndeleteToDialog>(Into(QString::fromStdString(dest), set)).Run([&] {
                page.UndeleteButton()->click();
            }));
        EXPECT_EQ(page.Summary()->Text()->text().toStdString(), summary);
        const QDateTime written = QFileInfo(QString::fromStdString(firstPath)).lastModified();
        EXPECT_EQ(written.secsTo(QDateTime::currentDateTime()) > 3600, restoreTimes);
    }
    EXPECT_EQ(test::Sha256OfFile(firstPath), firstSha);
}

TEST(MainWindow, AFolderNamedWithABackslashStaysOneFolderInTheListAndOnRecovery) {
    // NTFS allows '\\' in a name; on the Path column it reads like two folders, but the recovery
    // makes that one folder. The scan keeping the name whole is tests/scan's (test_collect.cpp),
    // the row's texts ResultList's.
    ScannedWindow window(SmallVolume("backslash.img", u"a\\b", {{true, u"inner.txt", "hello"}}),
                         false);
    ASSERT_NE(window.letter, 0);
    UndeletePage& page = window.page;
    ASSERT_EQ(page.Sorted().rowCount(), 1);
    Tick(page, 0);
    QTemporaryDir temp;
    const QString dest = temp.filePath(QStringLiteral("out"));
    EXPECT_TRUE(ModalScript().Then<UndeleteToDialog>(Into(dest)).Run([&] {
        page.UndeleteButton()->click();
    }));
    EXPECT_EQ(test::ReadText((dest + QStringLiteral("/a\\b/inner.txt")).toStdString()), "hello");
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/a")));
}

// Both on one scan of the image.
TEST(MainWindow, StopDuringAScanAndUndeleteCancelledOrWithNothingTickedLeaveNothingBehind) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    // A first scan fills the list, so that the cancelled one has something to take away.
    ScannedWindow window(image);
    UndeletePage& page = window.page;
    ASSERT_GT(page.Model().Count(), 0);
    Log::Global().Clear();

    // Stop is pressed as the window comes up, before the worker has done anything.
    bool stopped = false;
    page.beforeWorker = [&](ProgressWindow& progressWindow, ProgressDialog& progress) {
        QTest::mouseClick(progressWindow.StopButton(), Qt::LeftButton);
        QTest::mouseClick(progressWindow.StopButton(), Qt::LeftButton);  // twice is once
        stopped = progress.IsCancelled();
    };
    window.dialog.OnScan();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(page.Model().Count(), 0);
    EXPECT_EQ(page.Context().session, nullptr);
    EXPECT_TRUE(Logged("Canceled by user"));
    EXPECT_FALSE(Logged("Scan finished"));

    // A new window, a new cancel flag.
    page.beforeWorker = nullptr;
    window.dialog.OnScan();
    EXPECT_GT(page.Model().Count(), 0);
    EXPECT_TRUE(Logged("Scan finished"));

    // Undelete cancelled does nothing; with nothing ticked, it ends at once.
    Log::Global().Clear();
    QTemporaryDir temp;
    const QString dest = temp.filePath(QStringLiteral("new/folder"));
    for (const bool ok : {false, true}) {
        const auto answer = [&](UndeleteToDialog* d) {
            EXPECT_EQ(d->Prompt()->text(), QStringLiteral("Recover 0 ticked files to:"));
            d->PathEdit()->setText(dest);
            (ok ? d->OkButton() : d->CancelButton())->click();
        };
        EXPECT_TRUE(ModalScript().Then<UndeleteToDialog>(answer).Run(
            [&] { page.UndeleteButton()->click(); }));
        using Lines = std::vector<std::string>;
        EXPECT_EQ(LogMessages(),
                  (ok ? Lines{"Start recover", "All files are processed, recover end"} : Lines{}));
        EXPECT_EQ(page.Summary()->isVisible(), ok);
    }
    EXPECT_TRUE(QDir(dest).exists());  // the destination is made all the same
    EXPECT_TRUE(QDir(dest).isEmpty());
    EXPECT_EQ(page.Summary()->Text()->text(), QStringLiteral("Undelete: 0 recovered"));
}

TEST(MainWindow, AScanThatCannotStartSaysWhyAndLogsTheCause) {
    const std::string missing =
        QDir::temp().filePath(QStringLiteral("no-such-volume.img")).toStdString();
    // The drive (letter 0: none is chosen), the message and the lines logged.
    const std::tuple<Drive, std::string, std::vector<std::string>> cases[] = {
        {Drive{}, "Please select the disk to scan|No disk is selected", {}},
        // A drive that has gone since the list was made: being told to become an
        // administrator would be wrong here, the file is not there.
        {Drive{u'Y', u"Gone", Source{FromUtf8(missing)}},
         "Error|Open disk Y: failed.\ncannot open " + missing + ": No such file or directory",
         {"Y: cannot open " + missing + ": No such file or directory", "open disk Y: failed."}},
        {Drive{u'Y', u"blank.img", Source{u"/blank.img"}, true},
         "No NTFS partition|blank.img holds no NTFS partition: there is nothing to scan on it.",
         {}},
    };
    for (const auto& [drive, message, logged] : cases) {
        SCOPED_TRACE(message);
        MainDialog dialog({});
        dialog.show();
        dialog.Sheet()->SetActivePage(2);
        if (drive.letter) {
            dialog.FillDriveChooser({drive});
            dialog.DriveChooser()->setCurrentIndex(0);
        }
        Log::Global().Clear();
        std::string said;
        EXPECT_TRUE(ModalScript().ThenMessage(said).Run(
            [&] { QTest::mouseClick(dialog.ScanButton(), Qt::LeftButton); }));
        EXPECT_EQ(said, message);
        for (const std::string& line : logged)
            EXPECT_TRUE(Logged(line)) << line;
        EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
        EXPECT_EQ(dialog.Sheet()->Undelete()->Model().Count(), 0);
    }
}

TEST(MainWindow, OnlyImagesThatOpenAsNtfsAreListedUnderTheirNamesAndTheOthersAreNamed) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    QTemporaryDir temp;
    const std::string missing = temp.filePath(QStringLiteral("missing.img")).toStdString();
    const std::string folder = temp.path().toStdString();
    const std::string zeros = temp.filePath(QStringLiteral("zeros.img")).toStdString();
    std::ofstream(zeros, std::ios::binary) << std::string(8192, '\0');
    ModalScript script;
    std::string said;
    script.ThenMessage(said);
    const std::string unlabelled = test::NtfsBuilder().WriteImage("unlabelled.img");
    MainDialog dialog({FromUtf8(image), FromUtf8(unlabelled), FromUtf8(missing), FromUtf8(folder),
                       FromUtf8(zeros)});
    EXPECT_TRUE(script.Run([&] {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Done(); }));
    }));
    // The first image named is chosen already.
    EXPECT_TRUE(dialog.DriveChooser()->currentText().startsWith(QStringLiteral("rich-4k(")));
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
    for (const std::string& path : {image, unlabelled}) {
        EXPECT_NE(test::ChooseImage(dialog, path), 0);
        EXPECT_TRUE(good.match(dialog.DriveChooser()->currentText()).hasMatch());
    }
}

TEST(MainWindow, StartsWithItsOptionsPagesAndSizeAndItsMenuOpensTheAboutBox) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_TRUE(dialog.AdvancedScan()->isChecked());
    EXPECT_FALSE(dialog.windowIcon().pixmap(32, 32).isNull());  // the picture really loads
    ResultSheet* sheet = dialog.Sheet();
    QStringList tabs;
    for (int i = 0; i < sheet->Tabs()->count(); ++i)
        tabs.append(sheet->Tabs()->tabText(i));
    EXPECT_EQ(tabs, (QStringList{QStringLiteral("Deleted files"), QStringLiteral("Log"),
                                 QStringLiteral("About")}));
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

    // The window's context menu opens the About box.
    QString entry, title, text;
    const auto chooseAbout = [&](QMenu* menu) {
        ASSERT_EQ(menu->actions().size(), 1);
        entry = menu->actions().front()->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    };
    const auto about = [&](AboutBox* box) {
        title = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>())
            if (!label->text().isEmpty()) text = label->text();
        QPushButton* ok = box->findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        ok->click();
    };
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 20),
                            dialog.mapToGlobal(QPoint(400, 20)));
    EXPECT_TRUE(ModalScript().Then<QMenu>(chooseAbout).Then<AboutBox>(about).Run([&] {
        QApplication::sendEvent(&dialog, &event);
    }));
    EXPECT_EQ(entry, QStringLiteral("&About Quorvane..."));
    EXPECT_EQ(title, QStringLiteral("About Quorvane"));
    EXPECT_EQ(text, QStringLiteral("Quorvane Version 1.0"));
}

TEST(MainWindow, KeysFilterTheListAndQuitAsksWhileFilesAreTicked) {
    ScannedWindow window(
        SmallVolume(
            "three.img", u"docs",
            {{true, u"inner.txt", "x"}, {false, u"notes.TXT", "x"}, {true, u"photo.jpg", "x"}}),
        false);
    MainDialog& dialog = window.dialog;
    UndeletePage& page = window.page;
    FilterBar& filters = *page.Filters();
    const auto activate = [&] {  // back from the progress window or a message box
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    };
    activate();
    ASSERT_EQ(page.Model().Count(), 3);
    EXPECT_EQ(Names(page), (std::vector<std::u16string>{u"inner.txt", u"notes.TXT", u"photo.jpg"}));

    // Ctrl+F goes to the search field; what is typed filters names and paths as it is typed.
    dialog.Sheet()->SetActivePage(1);
    QTest::keyClick(&dialog, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(dialog.Sheet()->ActivePage(), 0);
    ASSERT_EQ(QApplication::focusWidget(), filters.SearchField());
    QTest::keyClicks(filters.SearchField(), QStringLiteral("txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.Sorted().rowCount() == 2; }));
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
    const FileState other =
        state == FileState::kIntact ? FileState::kOverwritten : FileState::kIntact;
    filters.StateBox()->setCurrentText(QString::fromLatin1(StateName(other).data()));
    EXPECT_EQ(page.Sorted().rowCount(), 0);
    QTest::mouseClick(page.ClearAllButton(), Qt::LeftButton);  // on no row shown
    EXPECT_EQ(page.Counts()->text(), QStringLiteral("0 of 3 shown, 2 ticked"));
    filters.StateBox()->setCurrentIndex(0);

    // Quit, Ctrl+Q and the close box ask while files are ticked; No (the default) keeps the
    // window and its list, Yes ends it.
    const std::pair<std::function<void()>, QMessageBox::StandardButton> quits[] = {
        {[&] { QTest::mouseClick(dialog.QuitButton(), Qt::LeftButton); }, QMessageBox::No},
        {[&] { QTest::keyClick(&dialog, Qt::Key_Q, Qt::ControlModifier); }, QMessageBox::No},
        {[&] { dialog.close(); }, QMessageBox::No},
        {[&] { QTest::keyClick(&dialog, Qt::Key_Q, Qt::ControlModifier); }, QMessageBox::Yes},
    };
    for (const auto& [quit, answer] : quits) {
        activate();
        const auto reply = [&](QMessageBox* box) {
            EXPECT_EQ(box->text(), QStringLiteral("2 files are ticked. Quit anyway?"));
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(answer)->click();
        };
        EXPECT_TRUE(ModalScript().Then<QMessageBox>(reply).Run(quit));
        EXPECT_EQ(dialog.isVisible(), answer == QMessageBox::No);
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

TEST(MainWindow, HelpGoesToTheDesktopOrAWindowOfItsOwnOrSaysItIsMissingAndShipsWithIt) {
    QTemporaryDir temp;
    const QString page = temp.filePath(QStringLiteral("help.html"));
    std::ofstream(page.toStdString()) << "<html><body><h1>Filter bar</h1></body></html>";
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
    std::string said;
    EXPECT_TRUE(ModalScript().ThenMessage(said).Run(
        [&] { QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton); }));
    EXPECT_EQ(handedOn.size(), 2);
    EXPECT_NE(said.find("Help|The help file help.html was not found"), std::string::npos) << said;
    EXPECT_NE(said.find("nothing.html"), std::string::npos);

    // The page the program ships is found where it looks.
    const QString found = FindHelpFile(HelpFileCandidates());
    ASSERT_FALSE(found.isEmpty());
    const QString html = QString::fromStdString(test::ReadText(found.toStdString()));
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

}  // namespace
}  // namespace qv
