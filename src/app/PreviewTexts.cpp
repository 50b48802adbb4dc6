#include "app/PreviewTexts.h"

#include "app/FileTexts.h"
#include "platform/Text.h"

namespace qv {

std::u16string PreviewHeading(const DeletedFile& file) {
    std::u16string text = (file.name.empty() ? u"(no name)" : file.name) + u": " + StateText(file);
    switch (file.state) {
        case FileState::kResident:
        case FileState::kIntact: break;
        case FileState::kPartlyOverwritten:
        case FileState::kOverwritten: text += u" \u2014 what its clusters hold now"; break;
        case FileState::kUnknown:
            text += u" \u2014 what its clusters hold now, which may be another file's data";
            break;
    }
    if (file.damaged) text += u"; its record is damaged: what it says may be wrong";
    return text;
}

std::u16string PreviewExtent(const DeletedFile& file, const PreviewContent& content, size_t shown) {
    if (content.cut || shown < content.bytes.size())
        return u"the first " + SizeText(shown) + u" of " + SizeText(file.size) + u" are shown";
    if (content.copied == Copied::kIncomplete)
        return u"its runs end before its size: " + FromUtf8(std::to_string(shown)) + u" of " +
               FromUtf8(std::to_string(file.size)) + u" bytes are shown";
    if (content.bytes.empty()) return u"the file is empty";
    return {};
}

}  // namespace qv
