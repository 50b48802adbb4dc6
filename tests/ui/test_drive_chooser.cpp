// The drive chooser: how its entries read, their order, and the drive each keeps beside its text
// for Scan.
#include <gtest/gtest.h>

#include <QComboBox>

#include "platform/Text.h"
#include "ui/DriveChooser.h"

namespace qv {
namespace {

Drive MakeDrive(char16_t letter, const std::u16string& label, const std::u16string& path,
                uint64_t offset = 0) {
    return Drive{letter, label, Source{path, offset, 0}};
}

TEST(DriveChooser, ShowsEachDriveSortedByTextAndKeepsItBesideTheText) {
    // The drives, and their entries in the order offered.
    const std::pair<std::vector<Drive>, QStringList> cases[] = {
        {{}, {}},
        {{MakeDrive(u'C', u"System", u"/dev/sda2"), MakeDrive(u'D', u"Backup", u"/dev/sdb1"),
          MakeDrive(u'G', u"archive", u"/srv/a.img")},
         {QStringLiteral("archive(G:) - NTFS"), QStringLiteral("Backup(D:) - NTFS"),
          QStringLiteral("System(C:) - NTFS")}},
        // No label; parentheses and a colon in a label; texts differing in case only (letters
        // start again at C past Z).
        {{MakeDrive(u'E', u"Data (old)", u"/dev/sdc1", 1048576), MakeDrive(u'F', u"", u"/dev/sdd"),
          MakeDrive(u'H', u"disk", u"/x/1.img"), MakeDrive(u'H', u"Disk", u"/x/2.img"),
          MakeDrive(u'J', u"a:(Z:) b", u"/x/3.img")},
         {QStringLiteral("(F:) - NTFS"), QStringLiteral("a:(Z:) b(J:) - NTFS"),
          QStringLiteral("Data (old)(E:) - NTFS"), QStringLiteral("Disk(H:) - NTFS"),
          QStringLiteral("disk(H:) - NTFS")}},
        // A disk image's NTFS partitions, and a disk without one.
        {{Drive{u'E', u"stick.img, partition 2", Source{u"/x/stick.img", 9437184, 16777216, 2}},
          Drive{u'F', u"blank.img", Source{u"/x/blank.img"}, true}},
         {QStringLiteral("(E:) stick.img, partition 2 - NTFS"),
          QStringLiteral("(F:) blank.img - no NTFS partition")}},
    };
    QComboBox chooser;
    chooser.addItem(QStringLiteral("left over"));
    for (const auto& [drives, texts] : cases) {
        SCOPED_TRACE(texts.join(QLatin1Char(',')).toStdString());
        FillDriveChooser(&chooser, drives);
        QStringList offered;
        for (int i = 0; i < chooser.count(); ++i)
            offered.append(chooser.itemText(i));
        EXPECT_EQ(offered, texts);
        EXPECT_EQ(chooser.currentIndex(), -1);
        EXPECT_FALSE(ChosenDrive(&chooser).has_value());
        // Choosing an entry gives the very drive its text was made from.
        for (int i = 0; i < chooser.count(); ++i) {
            chooser.setCurrentIndex(i);
            const std::optional<Drive> drive = ChosenDrive(&chooser);
            ASSERT_TRUE(drive.has_value());
            EXPECT_EQ(DriveChooserText(*drive), chooser.itemText(i));
            const auto same = std::find_if(drives.begin(), drives.end(), [&](const Drive& d) {
                return d.letter == drive->letter && d.label == drive->label &&
                       d.source == drive->source && d.noNtfs == drive->noNtfs;
            });
            EXPECT_NE(same, drives.end()) << ToUtf8(drive->source.path);
        }
    }
}

}  // namespace
}  // namespace qv
