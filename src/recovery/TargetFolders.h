#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scan/DeletedFile.h"
#include "scan/FolderPath.h"

namespace qv {

// Where a recovery recreates the folders of the files it writes, below the destination. Each
// folder of the volume gets one folder there, named after its own name made safe
// (SafeComponent). Names that would merge things the volume keeps apart get the next free
// numbered name ("name (1)", as NumberedName makes it): a folder whose safe name another folder of
// the same parent took already (".." and "_.." both become "_.."), and a folder whose name a
// chosen file of the same parent has (a deleted file "report" beside a deleted folder "report").
// A folder that cannot be made because something that is not a folder has its name on the disk
// is renamed the same way.
class TargetFolders {
public:
    using Id = size_t;
    static constexpr Id kTop = 0;  // the destination itself

    TargetFolders();

    // Declares a file that will be written into the folder `folder` under the name `leaf` (safe
    // already). Every file is declared before the first folder is placed, so that a folder never
    // takes a chosen file's name, whatever the order of the files.
    Id AddFile(const FolderPath& folder, const std::u16string& leaf);
    // The same for a chosen file of the list, written into its own folder as LeafName(file).
    // Its name is made only when a folder is placed beside it: most folders hold files or
    // folders, not both, so most names are never needed here. file must outlive the plan.
    Id AddFile(const DeletedFile& file);
    // The folder of a path, placed on first use.
    Id Folder(const FolderPath& folder);
    Id Parent(Id id) const { return nodes_[id].parent; }

    // The folder below the destination: "" for the top, else "a/b/" (each component safe).
    std::u16string Relative(Id id) const;
    // Gives a folder the next numbered name its parent does not use; returns the new relative
    // path. Folders below it follow, as they are placed relative to it.
    std::u16string Renumber(Id id);

    bool Made(Id id) const { return nodes_[id].made; }
    void SetMade(Id id) { nodes_[id].made = true; }

private:
    struct Node {
        Id parent = kTop;
        std::u16string original;  // the name on the volume
        std::u16string name;      // the name below the destination; empty until placed
        int number = 0;           // the numbered name's number, 0 for the plain name
        bool made = false;
        std::map<std::u16string, Id> children;  // by name on the volume
        std::set<std::u16string> taken;         // names used here by folders and chosen files
        // Chosen files whose names are not in taken yet: added when a folder is placed here.
        std::vector<const DeletedFile*> files;
    };
    Id Child(Id parent, const std::u16string& original);
    Id Find(const FolderPath& folder);
    void Place(Id id);
    void TakeFileNames(Node& node);

    std::vector<Node> nodes_;
    // Paths met before, by the identity of their chain: the files of one folder share it. The
    // path is kept with its entry, so that its chain cannot be freed and its address reused by
    // another folder's chain while the entry stands.
    std::unordered_map<const void*, std::pair<FolderPath, Id>> known_;
};

}  // namespace qv
