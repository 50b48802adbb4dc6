#pragma once

#include <string>

namespace qv {

// Diagnostic traces for developers: a line is appended to $QUORVANE_TRACE_DIR/<fileName> only
// when that folder exists. The file is opened without following symbolic links; any failure is
// silent and changes nothing else.
void AppendTraceLine(const char* fileName, const std::string& line);

}  // namespace qv
