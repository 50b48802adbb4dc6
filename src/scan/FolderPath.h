#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// The folders above a deleted file, from the top down. The names are the volume's own (a name
// may hold any character NTFS allows, '\' included); nothing is joined into a text here. Files
// in the same folder share its chain, so a scan of many files keeps each folder's name once.
class FolderPath {
public:
    FolderPath() = default;  // no folders

    // This path with one more folder below it.
    FolderPath Child(std::u16string name) const;

    bool Empty() const { return last_ == nullptr; }
    size_t Depth() const { return last_ ? last_->depth : 0; }
    // The names from the top down.
    std::vector<std::u16string> Names() const;
    // The last folder's name (empty for no folders).
    const std::u16string& Last() const;
    // The path one folder up.
    FolderPath Parent() const;

    bool operator==(const FolderPath& other) const;
    // Which chain this is: two paths with the same identity are the same path.
    const void* Identity() const { return last_.get(); }

private:
    struct Node {
        std::u16string name;
        std::shared_ptr<const Node> parent;
        size_t depth;
    };
    explicit FolderPath(std::shared_ptr<const Node> last) : last_(std::move(last)) {}
    std::shared_ptr<const Node> last_;
};

}  // namespace qv
