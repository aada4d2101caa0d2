#pragma once

#include "engine/BootloaderCodec.h"

namespace pellion {

// How a station writes an image: the size of its Write Memory blocks and whether blocks that
// are already what an erase left are sent at all.
struct WritePlan {
    int blockBytes = kWriteBlockBytes;  // IsValidWriteBlockSize
    // After an erase a block of 0xFF bytes is already on the chip: it is counted, not sent.
    // Read-back still reads it.
    bool skipBlankBlocks = true;
};

}  // namespace pellion
