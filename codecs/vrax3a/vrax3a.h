// VRAX3-A: LZ77 whose copy items name a slot of a 512-set, 8-way table instead of an offset. The
// compressor takes the longest of a set's eight candidates; the decompressor rebuilds the table
// in step, so every copy item is 2 bytes whatever its distance.
#pragma once

#include "codec.h"

extern const AlgorithmIdentity vrax3a_identity;

// The entry point: ACTION_IDENTIFY, ACTION_COMPRESS (vrax3a_compress), ACTION_DECOMPRESS
// (vrax3a_decompress).
CodecCall vrax3a_codec_call;

// Compresses in_size bytes into one block at out (out_cap ≥ in_size + 32, else
// CodecStatus::failed). Blocks are coded independently: the table is rebuilt at every call.
CodecRoutine vrax3a_compress;

// Decodes one block into out; CodecStatus::malformed for a block this codec could not have written
// (items past the block), CodecStatus::too_long for output past out_cap. Uses work_memory as
// scratch for its table.
CodecRoutine vrax3a_decompress;
