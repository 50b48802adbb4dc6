// The drive chooser's entries: which drives are offered, how they read, their order, and which
// letter Scan takes from an entry.
#include <gtest/gtest.h>

#include "ui/DriveChooser.h"

namespace qv {
namespace {

DriveTable::Drive Drive(char16_t letter, const std::u16string& label, const std::u16string& fs) {
    return DriveTable::Drive{letter, u"/dev/x", label, fs};
}

TEST(DriveChooser, OffersOnlyDrivesReportedAsNtfsExactly) {
    const QStringList items =
        DriveChooserItems({Drive(u'C', u"System", u"NTFS"), Drive(u'D', u"Stick", u"FAT32"),
                           Drive(u'E', u"Odd", u"ntfs"), Drive(u'F', u"", u"NTFS")});
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("(F:) - NTFS"), QStringLiteral("System(C:) - NTFS")}));
}

TEST(DriveChooser, KeepsItsEntriesSortedByText) {
    const QStringList items =
        DriveChooserItems({Drive(u'C', u"System", u"NTFS"), Drive(u'D', u"Backup", u"NTFS"),
                           Drive(u'G', u"archive", u"NTFS")});
    EXPECT_EQ(items, (QStringList{QStringLiteral("archive(G:) - NTFS"),
                                  QStringLiteral("Backup(D:) - NTFS"),
                                  QStringLiteral("System(C:) - NTFS")}));
}

TEST(DriveChooser, ScanTakesTheLetterBeforeTheColonAndParenthesis) {
    const QStringList items = DriveChooserItems({Drive(u'E', u"Data (old)", u"NTFS")});
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.front(), QStringLiteral("Data (old)(E:) - NTFS"));
    EXPECT_EQ(LetterOfDriveItem(items.front()), u'E');
    EXPECT_EQ(LetterOfDriveItem(QStringLiteral("(D:) - NTFS")), u'D');
    EXPECT_EQ(LetterOfDriveItem(QStringLiteral("no letter")), 0);
    EXPECT_EQ(LetterOfDriveItem(QStringLiteral(":) - NTFS")), 0);
}

}  // namespace
}  // namespace qv
