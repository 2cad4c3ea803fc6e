// VRAX5: a phrase-dictionary coder. Every item of a coded block is a 16-bit phrase number; each
// item adds one phrase (its own phrase plus the next byte), and the compressor finds the longest
// known phrase through a binary search tree whose texts point into the input block.
#pragma once

#include "codec.h"

extern const AlgorithmIdentity vrax5_identity;

// The entry point: ACTION_IDENTIFY, ACTION_COMPRESS (vrax5_compress), ACTION_DECOMPRESS
// (vrax5_decompress).
CodecCall vrax5_codec_call;

// Compresses in_size bytes into one block at out. out_cap must be at least in_size + 514 (the
// literal tail is never abandoned, so a coded block can be longer than the stored form);
// otherwise CodecStatus::failed without writing. Fails with "Ran out of nodes." when a block
// needs more than 65,280 phrases, which takes more than 130,000 input bytes. Nothing carries
// over from one call to the next.
CodecRoutine vrax5_compress;

// Decodes one block into out. A coded block of odd length, or one whose items start at an odd
// address, gives CodecStatus::failed with the decoder's message; a phrase number not yet
// defined in the block, or a block shorter than its header, gives CodecStatus::malformed; output
// past out_cap gives CodecStatus::too_long. Never reads or writes outside the two buffers.
CodecRoutine vrax5_decompress;
