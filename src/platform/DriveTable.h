#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Stands in for the drive letters of the old platform: each letter names a block device or an
// image file. The terminal program fills it from its arguments; the desktop program from the
// machine's NTFS volumes and its arguments; tests fill it directly.
class DriveTable {
public:
    struct Drive {
        char16_t letter = 0;
        std::u16string path;        // /dev/sdb1 or an image file
        std::u16string label;       // the volume label, may be empty
        std::u16string fileSystem;  // "NTFS" for everything the program lists
    };

    static DriveTable& Global();

    // Gives path the first free letter from C:, or returns the letter it already has.
    // Returns 0 when every letter up to Z: is taken.
    char16_t Assign(const std::u16string& path, const std::u16string& label = {});
    // Puts path under letter, replacing what was there. Letters are A to Z.
    bool Set(char16_t letter, const std::u16string& path, const std::u16string& label = {});
    std::optional<Drive> Find(char16_t letter) const;
    std::vector<Drive> List() const;  // by letter
    void Clear();

    // "E", "E:" or "e:\" → 'E'; anything else → 0.
    static char16_t ParseLetter(const std::u16string& text);

private:
    mutable std::mutex mutex_;
    std::vector<Drive> drives_;  // sorted by letter
};

}  // namespace qv
