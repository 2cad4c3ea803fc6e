// VRAX2: LZ77 whose copy items name an earlier item by its 12-bit phrase number instead of an
// offset. Every item takes the next of 4096 cycling numbers and its start position is recorded
// under it; the compressor finds the number to name through a hash table of recent items, the
// decompressor needs no hashing.
#pragma once

#include "codec.h"

extern const AlgorithmIdentity vrax2_identity;

// The entry point: ACTION_IDENTIFY, ACTION_COMPRESS (vrax2_compress), ACTION_DECOMPRESS
// (vrax2_decompress).
CodecCall vrax2_codec_call;

// Compresses in_size bytes into one block at out (out_cap ≥ in_size + 32, else
// CodecStatus::failed). Its table lives on the stack and starts anew at every call, so blocks are
// independent; it does not touch work_memory.
CodecRoutine vrax2_compress;

// Decodes one block into out; CodecStatus::malformed for a block this codec could not have written
// (a copy naming a phrase number that no item of the block has taken, items past the block),
// CodecStatus::too_long for output past out_cap. Uses work_memory as scratch; nothing from an
// earlier call is reachable.
CodecRoutine vrax2_decompress;
