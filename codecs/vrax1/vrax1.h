// VRAX1: LZ77 with 12-bit offsets and copies of 3 to 16 bytes, found through a single-probe hash
// table that each compress call builds afresh. No entry point, identity or working memory: the
// vrax1 program calls these two routines directly.
#pragma once

#include "codec.h"

// Compresses in_size bytes into one block at out and stores its length in result->length.
// Needs out_cap ≥ in_size + 32 (CodecStatus::failed otherwise, nothing written). The hash table
// lives on the stack for the call; work_memory is unused (null from the driver). Two calls with
// the same input give the same block.
CodecRoutine vrax1_compress;

// Decodes one block into out; CodecStatus::malformed for a block this codec could not have written
// (a copy offset of 0 or before the output's start, items past the block), CodecStatus::too_long
// for output past out_cap. Copy length codes 0 and 1 (copies of 1 and 2 bytes) are decoded although the compressor never
// writes them. work_memory is unused.
CodecRoutine vrax1_decompress;
