// VRAX1-A: LZ77 with 12-bit offsets and copies of 3 to 18 bytes, found through a single-probe
// hash table that lives in the working memory and carries over from one block to the next.
#pragma once

#include "codec.h"

extern const AlgorithmIdentity vrax1a_identity;

// The entry point: ACTION_IDENTIFY, ACTION_COMPRESS (vrax1a_compress), ACTION_DECOMPRESS
// (vrax1a_decompress).
CodecCall vrax1a_codec_call;

// Compresses in_size bytes into one block at out (out_cap ≥ in_size + 32). Reads and updates the
// hash table in work_memory, so calls that share a working memory must come in block order with
// the same `in` address for byte-identical output.
CodecRoutine vrax1a_compress;

// Decodes one block into out; CodecStatus::malformed for a block this codec could not have written
// (a copy before the output's start, items past the block), CodecStatus::too_long for output past
// out_cap. Ignores work_memory.
CodecRoutine vrax1a_decompress;
