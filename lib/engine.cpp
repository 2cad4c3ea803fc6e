// The engine: one reader thread fills a ring of batches, a fixed pool of workers codes them, and
// the calling thread writes their records out in block order and frees each batch for the reader.
// A batch holds consecutive blocks, as many as fill about 1 MiB of input (one block in the
// formats of 1 MiB and more), so that the 64 KiB formats hand a worker sixteen blocks at a time
// instead of one. A batch holds its blocks from the moment they are read until they are written,
// so at most workers + 2 batches are in flight.
#include "engine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vrax::lib {
namespace {

struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};
using Memory = std::unique_ptr<std::uint8_t, FreeMemory>;

// Memory that is not touched here: only the pages a block fills become resident, so a short
// input in a format with large blocks costs what it uses.
Memory untouched(std::size_t n) { return Memory(static_cast<std::uint8_t*>(std::malloc(n))); }

// Zero-filled, as a codec's working memory starts in every run of a program.
Memory zeroed(std::size_t n) { return Memory(static_cast<std::uint8_t*>(std::calloc(n, 1))); }

constexpr std::uint32_t LENGTH_FIELD = 4;

// The blocks that one batch of `format` holds: as many as fill 1 MiB of input, and at least one.
std::uint32_t blocks_per_batch(const ProgramDefinition& format) {
    return std::max<std::uint32_t>(1, (1u << 20) / format.block_size);
}

struct Block {
    const std::uint8_t* data = nullptr;  // the block to code
    std::uint32_t size = 0;
    std::uint32_t coded = 0;  // bytes the worker wrote
};

struct Batch {
    enum class State { free, read, coding, done };

    Memory input;                   // the blocks as read, one per input stride; none for an
                                    // input in memory
    Memory output;                  // the coded blocks, one per output stride
    std::vector<Block> blocks;      // room for a full batch
    std::uint32_t count = 0;        // blocks read into this batch
    std::uint32_t coded = 0;        // blocks coded without a failure: `count` unless one failed
    std::uint64_t first = 0;        // the number of its first block
    StreamOutcome outcome;          // the worker's failure, if any: block `first + coded`
    vrax_error_code code = VRAX_OK; // a verification failure
    State state = State::free;
};

// What each worker keeps for itself: its working memory, and for verification a second one
// with a buffer to decode into.
struct Worker {
    Memory work;
    Memory check_work;
    Memory check_output;
};

class Engine {
public:
    Engine(const ProgramDefinition& format, std::uint16_t action, ByteInput& in, ByteOutput& out,
           const EngineOptions& options, std::uint32_t batch_blocks)
        : format_(format), action_(action), compressing_(action == ACTION_COMPRESS), in_(in),
          out_(out), options_(options), batch_blocks_(batch_blocks),
          // A compressed block is written with its record's length field in front of it, so
          // that a record goes out in one piece.
          output_stride_(format.capacity() + (compressing_ ? LENGTH_FIELD : 0)) {}

    EngineResult run(unsigned workers, unsigned batches);

private:
    bool allocate(unsigned workers, unsigned batches);
    Batch& batch_of(std::uint64_t number) { return batches_[(number - 1) % batches_.size()]; }
    std::uint8_t* output_of(Batch& batch, std::uint32_t index) {
        return batch.output.get() + std::size_t(index) * output_stride_;
    }

    void read_batches();
    void code_batches(Worker& worker);
    void code(Worker& worker, Batch& batch);
    bool code(Worker& worker, Batch& batch, std::uint32_t index);
    void write_batches(EngineResult& result);
    bool write(Batch& batch, std::uint32_t index, EngineResult& result);
    void stop();

    const ProgramDefinition& format_;
    const std::uint16_t action_;
    const bool compressing_;
    ByteInput& in_;
    ByteOutput& out_;
    const EngineOptions& options_;
    const std::uint32_t batch_blocks_;  // blocks in a full batch
    const std::size_t output_stride_;

    std::vector<Batch> batches_;
    std::vector<Worker> workers_;

    std::mutex mutex_;
    std::condition_variable batch_freed_;  // the reader waits for its next batch
    std::condition_variable batch_read_;   // workers wait for a batch to code
    std::condition_variable batch_done_;   // the writer waits for the next batch in order
    std::uint64_t read_ = 0;               // batches 1..read_ have been read
    std::uint64_t claimed_ = 0;            // batches 1..claimed_ have been taken by workers
    bool input_over_ = false;              // the reader has stopped: at the end or on a failure
    StreamOutcome input_outcome_;          // why it stopped
    bool stopping_ = false;                // the writer is done: every thread winds down
};

bool Engine::allocate(unsigned workers, unsigned batches) {
    const std::size_t capacity = format_.capacity();
    batches_.resize(batches);
    for (Batch& batch : batches_) {
        if (!in_.in_place()) batch.input = untouched(batch_blocks_ * capacity);
        batch.output = untouched(batch_blocks_ * output_stride_);
        if ((!batch.input && !in_.in_place()) || !batch.output) return false;
        batch.blocks.resize(batch_blocks_);
    }
    const std::size_t work_size = std::max<std::size_t>(format_.codec.work_memory_size(), 1);
    workers_.resize(workers);
    for (Worker& worker : workers_) {
        worker.work = zeroed(work_size);
        if (!worker.work) return false;
        if (options_.verify) {
            worker.check_work = zeroed(work_size);
            worker.check_output = untouched(capacity);
            if (!worker.check_work || !worker.check_output) return false;
        }
    }
    return true;
}

void Engine::read_batches() {
    const std::uint32_t capacity = format_.capacity();
    for (std::uint64_t number = 1;; ++number) {
        Batch& batch = batch_of(number);
        {
            std::unique_lock lock(mutex_);
            batch_freed_.wait(lock, [&] { return stopping_ || batch.state == Batch::State::free; });
            if (stopping_) return;
        }
        const std::uint64_t first = (number - 1) * batch_blocks_ + 1;
        std::uint32_t count = 0;
        BlockRead block;
        for (; count < batch_blocks_; ++count) {
            std::uint8_t* buffer =
                batch.input ? batch.input.get() + std::size_t(count) * capacity : nullptr;
            block = compressing_
                        ? read_plain_block(in_, buffer, format_.block_size, first + count)
                        : read_record(in_, buffer, capacity, first + count);
            if (block.end || block.outcome.error != StreamError::none) break;
            batch.blocks[count] = Block{block.data, block.size, 0};
        }
        // A batch cut short by the end or a failure still goes out with the blocks before it.
        const bool over = count < batch_blocks_;
        {
            std::lock_guard lock(mutex_);
            if (count != 0) {
                batch.first = first;
                batch.count = count;
                batch.state = Batch::State::read;
                read_ = number;
            }
            if (over) {
                input_over_ = true;
                input_outcome_ = block.outcome;
            }
        }
        if (over) {
            batch_read_.notify_all();
            batch_done_.notify_one();
            return;
        }
        batch_read_.notify_one();
    }
}

// Codes block `index` of the batch; false, with the batch's outcome set, on a failure.
bool Engine::code(Worker& worker, Batch& batch, std::uint32_t index) {
    const std::uint32_t capacity = format_.capacity();
    Block& block = batch.blocks[index];
    const std::uint64_t number = batch.first + index;
    std::uint8_t* const output = output_of(batch, index) + (compressing_ ? LENGTH_FIELD : 0);
    batch.outcome = code_block(format_.codec, action_, worker.work.get(), block.data, block.size,
                               output, capacity, number, &block.coded);
    if (batch.outcome.error != StreamError::none) return false;
    if (!compressing_) return true;
    put_record_length(output - LENGTH_FIELD, block.coded);
    if (!options_.verify) return true;
    std::uint32_t decoded = 0;
    const StreamOutcome check =
        code_block(format_.codec, ACTION_DECOMPRESS, worker.check_work.get(), output,
                   block.coded, worker.check_output.get(), capacity, number, &decoded);
    if (check.error != StreamError::none || decoded != block.size ||
        (decoded != 0 && std::memcmp(worker.check_output.get(), block.data, decoded) != 0)) {
        batch.code = VRAX_ERROR_VERIFY;
        return false;
    }
    return true;
}

// Codes the batch's blocks in order, up to the first that fails.
void Engine::code(Worker& worker, Batch& batch) {
    batch.code = VRAX_OK;
    batch.outcome = StreamOutcome{};
    batch.coded = 0;
    while (batch.coded < batch.count && code(worker, batch, batch.coded)) ++batch.coded;
}

void Engine::code_batches(Worker& worker) {
    for (;;) {
        std::uint64_t number = 0;
        {
            std::unique_lock lock(mutex_);
            batch_read_.wait(lock, [&] { return stopping_ || claimed_ < read_ || input_over_; });
            if (stopping_ || claimed_ == read_) return;
            number = ++claimed_;
            batch_of(number).state = Batch::State::coding;
        }
        Batch& batch = batch_of(number);
        code(worker, batch);
        {
            std::lock_guard lock(mutex_);
            batch.state = Batch::State::done;
        }
        batch_done_.notify_one();
    }
}

// Writes one coded block and reports the progress; false, with the result set, on a failure or
// when the progress callback asks to stop.
bool Engine::write(Batch& batch, std::uint32_t index, EngineResult& result) {
    const Block& block = batch.blocks[index];
    const std::uint64_t number = batch.first + index;
    const std::uint32_t length = block.coded + (compressing_ ? LENGTH_FIELD : 0);
    if (!out_.put(output_of(batch, index), length)) {
        result.outcome.error = StreamError::write_failed;
        result.outcome.block = number;
        result.outcome.saved_errno = errno;
        return false;
    }
    vrax_stream_stats& stats = result.stats;
    stats.records = number;
    stats.bytes_read += block.size + (compressing_ ? 0 : LENGTH_FIELD);
    stats.bytes_written += length;
    if (options_.progress != nullptr &&
        options_.progress(options_.progress_context, stats.bytes_read, stats.bytes_written) != 0) {
        result.code = VRAX_ERROR_CANCELLED;
        result.outcome.block = number;
        return false;
    }
    return true;
}

void Engine::write_batches(EngineResult& result) {
    for (std::uint64_t number = 1;; ++number) {
        Batch& batch = batch_of(number);
        {
            std::unique_lock lock(mutex_);
            batch_done_.wait(lock, [&] {
                return batch.state == Batch::State::done || (input_over_ && read_ < number);
            });
            if (batch.state != Batch::State::done) {  // the input ended, or failed, before it
                result.outcome = input_outcome_;
                return;
            }
        }
        // The records before a failing block go out; nothing after it.
        for (std::uint32_t index = 0; index < batch.coded; ++index)
            if (!write(batch, index, result)) return;
        if (batch.coded < batch.count) {
            result.outcome = batch.outcome;
            result.outcome.block = batch.first + batch.coded;
            result.code = batch.code;
            return;
        }
        {
            std::lock_guard lock(mutex_);
            batch.state = Batch::State::free;
        }
        batch_freed_.notify_one();
    }
}

void Engine::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    batch_freed_.notify_all();
    batch_read_.notify_all();
    batch_done_.notify_all();
}

EngineResult Engine::run(unsigned workers, unsigned batches) {
    EngineResult result;
    if (!allocate(workers, batches)) {
        result.code = VRAX_ERROR_MEMORY;
        return result;
    }
    std::vector<std::thread> threads;
    try {
        threads.reserve(workers + 1);
        threads.emplace_back([this] { read_batches(); });
        for (Worker& worker : workers_)
            threads.emplace_back([this, &worker] { code_batches(worker); });
    } catch (const std::system_error&) {
        result.code = VRAX_ERROR_THREADS;
    }
    if (result.code == VRAX_OK) write_batches(result);
    stop();
    for (std::thread& thread : threads) thread.join();
    return result;
}

}  // namespace

std::uint64_t default_buffer_budget() {
    constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return GiB;
    return std::min(GiB, std::uint64_t(pages) * std::uint64_t(page_size) / 4);
}

unsigned workers_for(const ProgramDefinition& format, unsigned threads) {
    if (threads != 0) return threads;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    const std::uint64_t cores = online > 0 ? std::uint64_t(online) : 1;
    // Each batch in flight holds two buffers; workers + 2 batches must fit the budget.
    const std::uint64_t batch_bytes =
        2 * std::uint64_t(blocks_per_batch(format)) * (format.capacity() + LENGTH_FIELD);
    const std::uint64_t batches = default_buffer_budget() / batch_bytes;
    const std::uint64_t fitting = batches > 3 ? batches - 2 : 1;
    return unsigned(std::min(cores, fitting));
}

EngineResult run_engine(const ProgramDefinition& format, std::uint16_t action, ByteInput& in,
                        ByteOutput& out, const EngineOptions& options) {
    std::uint64_t workers = workers_for(format, options.threads);
    if (action == ACTION_COMPRESS && format.codec.compresses_in_order()) workers = 1;
    std::uint64_t per_batch = blocks_per_batch(format);
    std::uint64_t batches = workers + 2;
    if (options.blocks != 0) {
        // A short input is spread over every worker rather than packed into fewer full batches.
        per_batch = std::clamp<std::uint64_t>((options.blocks + workers - 1) / workers, 1, per_batch);
        const std::uint64_t needed = (options.blocks + per_batch - 1) / per_batch;
        workers = std::min(workers, needed);
        batches = std::min(workers + 2, needed);
    }
    Engine engine(format, action, in, out, options, std::uint32_t(per_batch));
    return engine.run(unsigned(workers), unsigned(batches));
}

}  // namespace vrax::lib
