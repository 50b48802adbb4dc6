#include "recovery/TargetFolders.h"

#include "recovery/TargetNames.h"

namespace qv {

TargetFolders::TargetFolders() : nodes_(1) {
    nodes_[kTop].made = true;
}

TargetFolders::Id TargetFolders::Child(Id parent, const std::u16string& original) {
    const auto found = nodes_[parent].children.find(original);
    if (found != nodes_[parent].children.end()) return found->second;
    const Id id = nodes_.size();
    Node node;
    node.parent = parent;
    node.original = original;
    nodes_.push_back(std::move(node));
    nodes_[parent].children.emplace(original, id);
    return id;
}

TargetFolders::Id TargetFolders::Find(const FolderPath& folder) {
    if (folder.Empty()) return kTop;
    if (const auto it = known_.find(folder.Identity()); it != known_.end())
        return it->second.second;
    const Id id = Child(Find(folder.Parent()), folder.Last());
    known_.emplace(folder.Identity(), std::pair{folder, id});
    return id;
}

TargetFolders::Id TargetFolders::AddFile(const FolderPath& folder, const std::u16string& leaf) {
    const Id id = Find(folder);
    nodes_[id].taken.insert(leaf);
    return id;
}

TargetFolders::Id TargetFolders::AddFile(const DeletedFile& file) {
    const Id id = Find(file.folder);
    nodes_[id].files.push_back(&file);
    return id;
}

void TargetFolders::TakeFileNames(Node& node) {
    for (const DeletedFile* file : node.files)
        node.taken.insert(LeafName(*file));
    node.files = {};
}

void TargetFolders::Place(Id id) {
    Node& parent = nodes_[nodes_[id].parent];
    TakeFileNames(parent);
    const std::u16string safe = SafeComponent(nodes_[id].original);
    for (int n = nodes_[id].number;; ++n) {
        const std::u16string candidate = n == 0 ? safe : NumberedName(safe, n);
        if (parent.taken.insert(candidate).second) {
            nodes_[id].name = candidate;
            nodes_[id].number = n;
            return;
        }
    }
}

TargetFolders::Id TargetFolders::Folder(const FolderPath& folder) {
    const Id id = Find(folder);
    // Placed from the top down, the first time each is met.
    std::vector<Id> unplaced;
    for (Id up = id; up != kTop && nodes_[up].name.empty(); up = nodes_[up].parent)
        unplaced.push_back(up);
    for (auto it = unplaced.rbegin(); it != unplaced.rend(); ++it)
        Place(*it);
    return id;
}

std::u16string TargetFolders::Relative(Id id) const {
    std::vector<const std::u16string*> names;
    for (; id != kTop; id = nodes_[id].parent)
        names.push_back(&nodes_[id].name);
    std::u16string relative;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        relative += **it;
        relative += u'/';
    }
    return relative;
}

std::u16string TargetFolders::Renumber(Id id) {
    ++nodes_[id].number;
    Place(id);
    return Relative(id);
}

}  // namespace qv
