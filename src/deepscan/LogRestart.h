#pragma once

#include <cstdint>

#include "deepscan/LogRecordStore.h"
#include "platform/ByteSource.h"

namespace qv {

// Reads the log's geometry from its restart page: the one at offset 0, or, when that one is not
// usable, its copy at 4096. Fails with kLogCannotServe when neither gives a page size that is a
// power of two from 512 to 65536 and a restart area with sequence number bits from 3 to 63 (a
// blank or damaged log), or with the read's error when the log cannot be read.
Status ReadLogGeometry(ByteSource& log, uint64_t length, LogGeometry& geometry);

// True when a record page of the log is intact: it begins with "RCRD", its update sequence
// array lies between the page header and the data area and protects every 512-byte block, and
// every block ends in the update sequence number. Then the saved words are put back in place.
bool FixLogPage(uint8_t* page, const LogGeometry& geometry);
// The same check without changing the page.
bool IsIntactLogPage(const uint8_t* page, const LogGeometry& geometry);
// True when a page still holds what a new log is filled with (0xFF throughout): nothing was ever
// written there.
bool IsUnwrittenLogPage(const uint8_t* page, uint32_t pageSize);

}  // namespace qv
