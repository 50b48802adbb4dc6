#include "scan/FolderPath.h"

namespace qv {

namespace {
const std::u16string kNoName;
}

FolderPath FolderPath::Child(std::u16string name) const {
    return FolderPath(std::make_shared<const Node>(Node{std::move(name), last_, Depth() + 1}));
}

std::vector<std::u16string> FolderPath::Names() const {
    std::vector<std::u16string> names(Depth());
    size_t i = names.size();
    for (const Node* n = last_.get(); n != nullptr; n = n->parent.get())
        names[--i] = n->name;
    return names;
}

const std::u16string& FolderPath::Last() const {
    return last_ ? last_->name : kNoName;
}

FolderPath FolderPath::Parent() const {
    return last_ ? FolderPath(last_->parent) : FolderPath();
}

bool FolderPath::operator==(const FolderPath& other) const {
    const Node* a = last_.get();
    const Node* b = other.last_.get();
    while (a != b) {
        if (a == nullptr || b == nullptr || a->depth != b->depth || a->name != b->name)
            return false;
        a = a->parent.get();
        b = b->parent.get();
    }
    return true;
}

}  // namespace qv
