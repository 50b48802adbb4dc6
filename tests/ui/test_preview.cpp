// The preview below the list and "Export list…", on the demo volume: choosing a row shows the
// file as a picture, a text or a hex dump of its bytes under its state; the list's menu writes
// the rows shown, in their order, as CSV or JSON Lines.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "app/ContentPreview.h"
#include "app/FileTexts.h"
#include "app/ListWriter.h"
#include "support/Fixtures.h"
#include "ui/ListExport.h"
#include "ui/ListPreview.h"
#include "ui/PreviewLoader.h"
#include "ui/PreviewPane.h"
#include "ui/QtText.h"

namespace qv {
namespace {

using Showing = PreviewPane::Showing;
using test::ScannedWindow;

TEST(Preview, ChoosingARowShowsItsFileUnderItsStateAndExportListWritesTheRowsShownInOrder) {
    QV_REQUIRE_FIXTURE(image, "sample.img");
    ScannedWindow window(image);
    ListPreview* preview = window.page.Preview();
    PreviewPane* pane = preview->Pane();
    EXPECT_TRUE(pane->isHidden());  // until a file is chosen

    // The file's own bytes reach the pane: how it starts. The bytes read for every file of this
    // volume are held against The Sleuth Kit's manifest, and the text and hex dump made of them,
    // in tests/app/test_content_preview.cpp.
    // The file's name, how it is shown, what the pane says of its extent, and how its text starts.
    const std::tuple<const char*, Showing, QString, QString> cases[] = {
        {"holiday.png", Showing::kImage, "", ""},
        {"notes.html", Showing::kText, "", "<"},
        {"annual-report.pdf", Showing::kHex, "", "00000000  25 50 44 46 "},  // %PDF
        {"server-2023-08.log", Showing::kText, "the first 64 KB of 207 KB are shown", ""},
        {"ballast.tmp", Showing::kText, "the file is empty", ""},
    };
    for (const auto& [name, shown, extent, start] : cases) {
        SCOPED_TRACE(name);
        const int row = window.RowOf(name);
        ASSERT_GE(row, 0);
        const DeletedFile& file = window.page.Sorted().File(row);
        window.page.List()->setCurrentIndex(window.page.Sorted().index(row, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane->Shown() != Showing::kMessage; }))
            << pane->Message()->text().toStdString();
        EXPECT_TRUE(pane->isVisible());
        EXPECT_EQ(pane->Shown(), shown);
        EXPECT_TRUE(pane->Heading()->text().startsWith(
            QString::fromUtf8(name) + QStringLiteral(": ") + ToQString(StateText(file))))
            << pane->Heading()->text().toStdString();
        EXPECT_EQ(pane->Extent()->text(), extent);
        if (shown == Showing::kImage) {
            EXPECT_GT(pane->Picture()->Image().width(), 8);  // a picture, not a null image
        } else if (extent.startsWith(QStringLiteral("the first"))) {
            EXPECT_EQ(pane->Text()->toPlainText().toUtf8().size(), 64 * 1024);
        } else {
            EXPECT_TRUE(pane->Text()->toPlainText().startsWith(start));
            EXPECT_EQ(pane->Text()->toPlainText().isEmpty(), start.isEmpty());
        }
    }

    // Turned off, the preview goes out of sight and stays there when another file is chosen.
    preview->SetPreviewEnabled(false);
    window.page.List()->setCurrentIndex(window.page.Sorted().index(0, 0));
    EXPECT_TRUE(pane->isHidden());
    preview->SetPreviewEnabled(true);
    EXPECT_TRUE(pane->isVisible());

    // A scan starts only once the read running has ended: the session serves one thread.
    window.page.List()->setCurrentIndex(
        window.page.Sorted().index(window.RowOf("server-2023-08.log"), 0));
    ASSERT_TRUE(preview->Loader().Reading());
    bool readingDuringScan = true;
    window.page.beforeWorker = [&](ProgressWindow&, ProgressDialog&) {
        readingDuringScan = preview->Loader().Reading();
    };
    window.dialog.OnScan();
    EXPECT_FALSE(readingDuringScan);
    EXPECT_EQ(pane->Shown(), Showing::kMessage);  // a new list: nothing is chosen

    // Export list writes the rows shown, in their order.
    SortedResults& shown = window.page.Sorted();
    ASSERT_GT(shown.rowCount(), 5);
    window.page.SortByColumn(static_cast<int>(Column::kSize));
    window.page.SortByColumn(static_cast<int>(Column::kSize));  // largest first
    const char16_t letter = window.page.Model().Letter();
    QTemporaryDir folder;

    // Through the list's menu and the file dialog, as a person does.
    const QString jsonPath = folder.filePath(QStringLiteral("list.jsonl"));
    const auto chooseExport = [](QMenu* menu) {
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("&Export list…")) menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    };
    const auto save = [&](QFileDialog* dialog) { test::TypeAndAccept(dialog, jsonPath); };
    QWidget* viewport = window.page.List()->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20),
                            viewport->mapToGlobal(QPoint(20, 20)));
    EXPECT_TRUE(test::ModalScript().Then<QMenu>(chooseExport).Then<QFileDialog>(save).Run([&] {
        QApplication::sendEvent(viewport, &click);
    }));
    // The rows shown, in their order, with the scan's letter: each row's text is ListWriter's
    // (tests/app/test_list_writer.cpp holds it byte for byte).
    std::vector<DeletedFile> rows;
    for (int r = 0; r < shown.rowCount(); ++r)
        rows.push_back(shown.File(r));
    EXPECT_GT(rows.front().size, rows.back().size);
    EXPECT_EQ(test::ReadText(jsonPath.toStdString()),
              FormatFileList(rows, ListFormat::kJsonLines, letter));

    // CSV, and a name with another ending, which gets CSV and says so.
    for (const char* name : {"list.csv", "list.txt"}) {
        SCOPED_TRACE(name);
        const QString path = folder.filePath(QString::fromLatin1(name));
        std::string said;
        test::ModalScript told;
        if (QString::fromLatin1(name).endsWith(QStringLiteral(".txt"))) told.ThenMessage(said);
        EXPECT_TRUE(
            told.Run([&] { EXPECT_TRUE(WriteShownList(&window.dialog, path, shown, letter)); }));
        EXPECT_EQ(test::ReadText(path.toStdString()),
                  FormatFileList(rows, ListFormat::kCsv, letter));
        EXPECT_EQ(said.find("written as CSV") != std::string::npos,
                  QString::fromLatin1(name).endsWith(QStringLiteral(".txt")));
    }

    // A folder that cannot be written into: the message names the path and the cause.
    const QString refused = QStringLiteral("/proc/list.csv");
    std::string said;
    EXPECT_TRUE(test::ModalScript().ThenMessage(said).Run(
        [&] { EXPECT_FALSE(WriteShownList(&window.dialog, refused, shown, letter)); }));
    const std::string prefix = "Export list|The list could not be written to /proc/list.csv: ";
    EXPECT_EQ(said.rfind(prefix, 0), 0u) << said;
    EXPECT_GT(said.size(), prefix.size() + 1);  // and its cause
}

// A PNG cut short after its first bytes has the signature of a picture but is none Qt can show:
// its bytes are shown instead, saying why.
TEST(Preview, APictureThatCannotBeDecodedIsShownAsItsBytes) {
    PreviewPane pane(nullptr);
    DeletedFile file;
    file.name = u"cut.png";
    file.size = 40'000;
    file.state = FileState::kPartlyOverwritten;
    file.overwrittenPercent = 35;
    PreviewContent content;
    content.bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H'};
    content.kind = ClassifyContent(content.bytes);
    content.copied = Copied::kIncomplete;
    QImage picture;
    EXPECT_FALSE(
        picture.loadFromData(content.bytes.data(), static_cast<int>(content.bytes.size())));
    pane.ShowContent(file, content, picture);
    EXPECT_EQ(pane.Shown(), Showing::kHex);
    EXPECT_EQ(pane.Heading()->text(),
              QStringLiteral("cut.png: partly overwritten (35 %) — what its clusters hold now"));
    EXPECT_EQ(pane.Extent()->text(),
              QStringLiteral("not a picture that can be shown (damaged or cut short); its runs "
                             "end before its size: 14 of 40000 bytes are shown"));
    EXPECT_EQ(pane.Text()->toPlainText().trimmed(),
              QStringLiteral("00000000  89 50 4e 47 0d 0a 1a 0a  00 00 00 0d 49 48"
                             "        |.PNG........IH|"));
}

}  // namespace
}  // namespace qv
