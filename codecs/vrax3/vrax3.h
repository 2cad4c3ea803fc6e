// VRAX3: LZ77 whose copy items name the slot of a 4096-slot hash table instead of an offset; the
// decompressor rebuilds the table in step, so every copy item is 2 bytes whatever its distance.
#pragma once

#include "codec.h"

extern const AlgorithmIdentity vrax3_identity;

// The entry point: ACTION_IDENTIFY, ACTION_COMPRESS (vrax3_compress), ACTION_DECOMPRESS
// (vrax3_decompress).
CodecCall vrax3_codec_call;

// Compresses in_size bytes into one block at out (out_cap ≥ in_size + 32, else
// CodecStatus::failed). Blocks are coded independently: the table is rebuilt at every call.
CodecRoutine vrax3_compress;

// Decodes one block into out; CodecStatus::malformed for a block this codec could not have written
// (items past the block), CodecStatus::too_long for output past out_cap. Uses work_memory as
// scratch for its table.
CodecRoutine vrax3_decompress;
