#pragma once

#include <string>

#include "app/ContentPreview.h"
#include "scan/DeletedFile.h"

namespace qv {

// The line above a preview: the file's name and state, and for a file whose clusters may hold
// something else now, that the preview shows what they hold ("report.doc: partly overwritten
// (35 %) — what its clusters hold now").
std::u16string PreviewHeading(const DeletedFile& file);

// What part of the file the preview shows when not simply all of it (shown: the bytes on
// screen): "the first 64 KB of 207 KB are shown", that the runs end before the file's size, that
// it is empty. Empty when all of it is shown.
std::u16string PreviewExtent(const DeletedFile& file, const PreviewContent& content, size_t shown);

}  // namespace qv
