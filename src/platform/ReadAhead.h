#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// Opens another handle on the same container, read-only, independent of the first: a
// container library reads one thing at a time per handle, so each read-ahead worker needs its own.
using DeviceOpener = std::function<Result<std::unique_ptr<BlockDevice>>()>;

// One core is left to the reading thread: 1 worker on 2 cores, 2 on 3 cores or more, none on
// one core. A worker decodes a block faster than the scan parses it (EWF chunks are inflated
// with libdeflate), so on 2 cores a second worker only takes turns on the core the first one
// uses, and the extra switching and copying made scans slower (EWF and QCOW2 alike).
int ReadAheadWorkersForThisMachine();

struct ReadAheadOptions {
    // 1 MiB: measured cheaper than 4 MiB (less decoded for nothing when a stream stops, copies
    // from memory the worker has just written).
    uint64_t blockBytes = 1u << 20;  // the unit a worker reads, aligned on the device
    int blocksAhead = 8;             // at most this many blocks ready past the reader's position
    int workers = ReadAheadWorkersForThisMachine();  // each with its own handle; 0: no read-ahead
    // A read streams (and keeps the workers reading ahead) when it is at least this large and
    // starts at the previous read's end or up to nearBytes past it; any other read is a jump.
    uint64_t minStreamingRead = 256u << 10;
    uint64_t nearBytes = 64u << 10;
    // Blocks are read ahead from this many streaming reads in a row on (1: from the first read
    // that follows another). Where reading is cheap, a later start leaves short streams alone.
    uint64_t streakBeforeReadingAhead = 1;
    // The reader reads a block no worker has started yet itself rather than wait for one: on a
    // busy machine the workers may get no core for a while.
    bool readUnstartedBlocks = true;
};

// A container device whose large sequential reads are decoded ahead on other threads, so the
// decoding (an EWF image's zlib chunks) overlaps the scan's parsing on a second core. While
// reads stream, workers read the next blocks through their own handles (opened on their threads
// by openAnother) and the reader takes the bytes from those blocks, waiting for one still being
// read. A jump drops the blocks not yet started and reads through the first handle, as do reads
// of a block whose worker read failed: an error therefore reaches the caller exactly as the
// direct read reports it (code and cause), and never as bytes. Memory: (blocksAhead + workers)
// blocks. Closing stops the workers (a block being read is finished first) and joins them.
std::unique_ptr<BlockDevice> WithReadAhead(std::unique_ptr<BlockDevice> direct,
                                           DeviceOpener openAnother, ReadAheadOptions options = {});

}  // namespace qv
