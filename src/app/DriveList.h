#pragma once

#include <string>
#include <vector>

#include "platform/Source.h"
#include "platform/VolumeEnumeration.h"

namespace qv {

// One entry of what the front ends offer to scan: a source, the letter it is shown under (in
// the list, in paths like "C:\Docs\Old\" and in log lines) and its label.
struct Drive {
    char16_t letter = 0;
    std::u16string label;  // the volume's label, or an image's file name
    Source source;         // source.partition: its number when it is a partition of a disk
    // A whole disk without an NTFS partition: listed so that the user learns why it cannot be
    // scanned, instead of missing.
    bool noNtfs = false;
};

// The machine's NTFS volumes in device-name order, then the images given, with letters from C:.
// Letters only name entries for people: past Z they start again at C.
std::vector<Drive> MakeDriveList(const std::vector<FoundVolume>& volumes,
                                 const std::vector<Drive>& images);

// An image given by its path: labelled with its volume's label, or its file name when it has
// none.
Drive ImageDrive(const std::u16string& path);

// What an image given to a front end offers: itself when it is an NTFS volume; one entry per
// NTFS partition when it is a whole disk with a partition table (labelled "stick.img, partition
// 2"), or one noNtfs entry when none of its partitions is NTFS; nothing, and why, when it is
// neither ("cannot open x.img: No such file or directory", "not an NTFS volume: ...").
struct ImageOffer {
    std::vector<Drive> drives;
    std::string refusal;
};
ImageOffer OfferImage(const std::u16string& path);

// "E", "E:" or "e:\" → 'E'; anything else → 0.
char16_t ParseDriveLetter(const std::u16string& text);

}  // namespace qv
