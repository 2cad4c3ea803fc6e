// The stream engine behind vrax.h: a reader, a fixed pool of workers and a writer that puts the
// records out in order, over any byte input and output of the record layer.
#pragma once

#include <cstdint>

#include "driver_stream.h"
#include "program_table.h"
#include "vrax.h"

namespace vrax::lib {

struct EngineOptions {
    unsigned threads = 0;      // as the caller named it; 0: every online core, within the budget
    bool verify = false;       // compression: decode each block and compare before writing it
    vrax_progress_fn progress = nullptr;
    void* progress_context = nullptr;
    std::uint64_t blocks = 0;  // the number of blocks, when known in advance (0: unknown): they
                               // are spread over the workers, and no more workers and buffers
                               // than they fill are set up
};

struct EngineResult {
    StreamOutcome outcome;            // a failure of the records or the codec
    vrax_error_code code = VRAX_OK;   // the engine's own failures; VRAX_OK when `outcome` tells
    vrax_stream_stats stats{};        // records written, and the input and output bytes behind them
};

// The buffer budget that `threads == 0` keeps within: min(1 GiB, physical memory / 4).
std::uint64_t default_buffer_budget();

// The workers that a call with `threads` runs for `format` before the memory budget and the
// block count are applied: online cores for 0.
unsigned workers_for(const ProgramDefinition& format, unsigned threads);

// Compresses (ACTION_COMPRESS) or decompresses (ACTION_DECOMPRESS) everything `in` yields into
// `out`. Output is identical for every thread count. On a failure every worker stops and nothing
// is written after the last good record.
EngineResult run_engine(const ProgramDefinition& format, std::uint16_t action, ByteInput& in,
                        ByteOutput& out, const EngineOptions& options);

}  // namespace vrax::lib
