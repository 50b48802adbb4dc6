#pragma once

#include <string>

namespace qv {
class FileRecord;
class ScanSession;
}  // namespace qv

namespace qv::test {

// The sha256 of a file's content (stream "") or of one named stream, copied through the data
// copy from the session's volume; a text saying what went wrong instead when it cannot be.
std::string ContentSha(ScanSession& session, const FileRecord& record, const std::string& stream);

}  // namespace qv::test
