// The engine: one reader thread fills a ring of block slots, a fixed pool of workers codes them,
// and the calling thread writes them out in block order and frees each slot for the reader. A
// slot holds one block from the moment it is read until it is written, so at most workers + 2
// blocks are in flight.
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

struct Slot {
    enum class State { free, read, coding, done };

    Memory input;                        // the block as read; none for an input in memory
    Memory output;                       // the coded block
    const std::uint8_t* data = nullptr;  // the block to code
    std::uint32_t size = 0;
    std::uint32_t coded = 0;             // bytes of `output` that the worker wrote
    std::uint64_t input_bytes = 0;       // the bytes of input behind this record
    StreamOutcome outcome;               // the worker's failure, if any
    vrax_error_code code = VRAX_OK;      // a verification failure
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
           const EngineOptions& options)
        : format_(format), action_(action), in_(in), out_(out), options_(options) {}

    EngineResult run(unsigned workers, unsigned slots);

private:
    bool allocate(unsigned workers, unsigned slots);
    Slot& slot_of(std::uint64_t number) { return slots_[(number - 1) % slots_.size()]; }

    void read_blocks();
    void code_blocks(Worker& worker);
    void code(Worker& worker, Slot& slot, std::uint64_t number);
    void write_blocks(EngineResult& result);
    void stop();

    const ProgramDefinition& format_;
    const std::uint16_t action_;
    ByteInput& in_;
    ByteOutput& out_;
    const EngineOptions& options_;

    std::vector<Slot> slots_;
    std::vector<Worker> workers_;

    std::mutex mutex_;
    std::condition_variable slot_freed_;  // the reader waits for its next slot
    std::condition_variable block_read_;  // workers wait for a block to code
    std::condition_variable block_done_;  // the writer waits for the next block in order
    std::uint64_t read_ = 0;              // blocks 1..read_ have been read
    std::uint64_t claimed_ = 0;           // blocks 1..claimed_ have been taken by workers
    bool input_over_ = false;             // the reader has stopped: at the end or on a failure
    StreamOutcome input_outcome_;         // why it stopped
    bool stopping_ = false;               // the writer is done: every thread winds down
};

bool Engine::allocate(unsigned workers, unsigned slots) {
    const std::size_t capacity = format_.capacity();
    slots_.resize(slots);
    for (Slot& slot : slots_) {
        if (!in_.in_place()) slot.input = untouched(capacity);
        slot.output = untouched(capacity);
        if ((!slot.input && !in_.in_place()) || !slot.output) return false;
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

void Engine::read_blocks() {
    const bool compressing = action_ == ACTION_COMPRESS;
    for (std::uint64_t number = 1;; ++number) {
        Slot& slot = slot_of(number);
        {
            std::unique_lock lock(mutex_);
            slot_freed_.wait(lock, [&] { return stopping_ || slot.state == Slot::State::free; });
            if (stopping_) return;
        }
        const BlockRead block =
            compressing ? read_plain_block(in_, slot.input.get(), format_.block_size, number)
                        : read_record(in_, slot.input.get(), format_.capacity(), number);
        const bool over = block.end || block.outcome.error != StreamError::none;
        {
            std::lock_guard lock(mutex_);
            if (over) {
                input_over_ = true;
                input_outcome_ = block.outcome;
            } else {
                slot.data = block.data;
                slot.size = block.size;
                slot.input_bytes = compressing ? block.size : 4 + std::uint64_t(block.size);
                slot.state = Slot::State::read;
                read_ = number;
            }
        }
        if (over) {
            block_read_.notify_all();
            block_done_.notify_one();
            return;
        }
        block_read_.notify_one();
    }
}

void Engine::code(Worker& worker, Slot& slot, std::uint64_t number) {
    const std::uint32_t capacity = format_.capacity();
    slot.code = VRAX_OK;
    slot.outcome = code_block(format_.codec, action_, worker.work.get(), slot.data, slot.size,
                              slot.output.get(), capacity, number, &slot.coded);
    if (!options_.verify || action_ != ACTION_COMPRESS || slot.outcome.error != StreamError::none)
        return;
    std::uint32_t decoded = 0;
    const StreamOutcome check =
        code_block(format_.codec, ACTION_DECOMPRESS, worker.check_work.get(), slot.output.get(),
                   slot.coded, worker.check_output.get(), capacity, number, &decoded);
    if (check.error != StreamError::none || decoded != slot.size ||
        (decoded != 0 && std::memcmp(worker.check_output.get(), slot.data, decoded) != 0)) {
        slot.code = VRAX_ERROR_VERIFY;
        slot.outcome.block = number;
    }
}

void Engine::code_blocks(Worker& worker) {
    for (;;) {
        std::uint64_t number = 0;
        {
            std::unique_lock lock(mutex_);
            block_read_.wait(lock, [&] { return stopping_ || claimed_ < read_ || input_over_; });
            if (stopping_ || claimed_ == read_) return;
            number = ++claimed_;
            slot_of(number).state = Slot::State::coding;
        }
        Slot& slot = slot_of(number);
        code(worker, slot, number);
        {
            std::lock_guard lock(mutex_);
            slot.state = Slot::State::done;
        }
        block_done_.notify_one();
    }
}

void Engine::write_blocks(EngineResult& result) {
    vrax_stream_stats& stats = result.stats;
    for (std::uint64_t number = 1;; ++number) {
        Slot& slot = slot_of(number);
        {
            std::unique_lock lock(mutex_);
            block_done_.wait(lock, [&] {
                return slot.state == Slot::State::done || (input_over_ && read_ < number);
            });
            if (slot.state != Slot::State::done) {  // the input ended, or failed, before this block
                result.outcome = input_outcome_;
                return;
            }
        }
        if (slot.outcome.error != StreamError::none || slot.code != VRAX_OK) {
            result.outcome = slot.outcome;
            result.code = slot.code;
            return;
        }
        const bool written = action_ == ACTION_COMPRESS
                                 ? write_record(out_, slot.output.get(), slot.coded)
                                 : out_.put(slot.output.get(), slot.coded);
        if (!written) {
            result.outcome.error = StreamError::write_failed;
            result.outcome.block = number;
            result.outcome.saved_errno = errno;
            return;
        }
        stats.records = number;
        stats.bytes_read += slot.input_bytes;
        stats.bytes_written += slot.coded + (action_ == ACTION_COMPRESS ? 4 : 0);
        if (options_.progress != nullptr &&
            options_.progress(options_.progress_context, stats.bytes_read, stats.bytes_written) !=
                0) {
            result.code = VRAX_ERROR_CANCELLED;
            result.outcome.block = number;
            return;
        }
        {
            std::lock_guard lock(mutex_);
            slot.state = Slot::State::free;
        }
        slot_freed_.notify_one();
    }
}

void Engine::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    slot_freed_.notify_all();
    block_read_.notify_all();
    block_done_.notify_all();
}

EngineResult Engine::run(unsigned workers, unsigned slots) {
    EngineResult result;
    if (!allocate(workers, slots)) {
        result.code = VRAX_ERROR_MEMORY;
        return result;
    }
    std::vector<std::thread> threads;
    try {
        threads.reserve(workers + 1);
        threads.emplace_back([this] { read_blocks(); });
        for (Worker& worker : workers_) threads.emplace_back([this, &worker] { code_blocks(worker); });
    } catch (const std::system_error&) {
        result.code = VRAX_ERROR_THREADS;
    }
    if (result.code == VRAX_OK) write_blocks(result);
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
    // Each block in flight holds two buffers; workers + 2 blocks must fit the budget.
    const std::uint64_t blocks = default_buffer_budget() / (2 * std::uint64_t(format.capacity()));
    const std::uint64_t fitting = blocks > 3 ? blocks - 2 : 1;
    return unsigned(std::min(cores, fitting));
}

EngineResult run_engine(const ProgramDefinition& format, std::uint16_t action, ByteInput& in,
                        ByteOutput& out, const EngineOptions& options) {
    std::uint64_t workers = workers_for(format, options.threads);
    if (action == ACTION_COMPRESS && format.codec.compresses_in_order()) workers = 1;
    std::uint64_t slots = workers + 2;
    if (options.blocks != 0) {
        workers = std::min(workers, options.blocks);
        slots = std::min(workers + 2, options.blocks);
    }
    Engine engine(format, action, in, out, options);
    return engine.run(unsigned(workers), unsigned(slots));
}

}  // namespace vrax::lib
