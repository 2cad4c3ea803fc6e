// The VRAX configurations that vraxbench measures: every program of program_table.h, its codec
// called as the driver calls it, with the program's block size and block buffer capacity.
#include <cstring>
#include <vector>

#include "bench_coder.h"
#include "program_table.h"

namespace vrax::bench {
namespace {

// Calls a codec the way the driver does: through its entry point with the run's working memory,
// or through its two routines without one, into a destination of BLOCK_SIZE plus the slack.
class VraxCoder final : public BlockCoder {
public:
    explicit VraxCoder(const ProgramDefinition& c)
        : name_(c.name), codec_(c.codec), block_size_(c.block_size), slack_(c.slack) {
        work_memory_.resize(codec_.work_memory_size());
    }

    const std::string& name() const override { return name_; }
    std::uint32_t block_size() const override { return block_size_; }
    bool is_vrax() const override { return true; }
    std::size_t compress_capacity(std::uint32_t) const override { return block_size_ + slack_; }
    std::size_t decompress_capacity() const override { return block_size_ + slack_; }

    // A new run of the program: zero-filled working memory.
    void start_pass() override {
        if (!work_memory_.empty()) std::memset(work_memory_.data(), 0, work_memory_.size());
    }

    bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                  std::size_t out_cap, std::size_t* out_size) override {
        return call(ACTION_COMPRESS, in, in_size, out, out_cap, out_size);
    }

    bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                    std::size_t out_cap, std::uint32_t, std::size_t* out_size) override {
        return call(ACTION_DECOMPRESS, in, in_size, out, out_cap, out_size);
    }

private:
    bool call(std::uint16_t action, const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
              std::size_t out_cap, std::size_t* out_size) {
        CodecResult result{};
        const auto n = std::uint32_t(in_size);
        const auto cap = std::uint32_t(out_cap);
        const CodecStatus status =
            codec_.call(action, work_memory_.data(), in, n, out, cap, &result);
        if (status == CodecStatus::failed) {
            message = result.message != nullptr ? result.message : "codec failed";
            return false;
        }
        if (status != CodecStatus::ok) {
            message = "block reported malformed";
            return false;
        }
        if (result.length > out_cap) {
            message = "codec reported more output than its destination holds";
            return false;
        }
        *out_size = result.length;
        return true;
    }

    std::string name_;
    CodecHandle codec_;
    std::uint32_t block_size_;
    std::uint32_t slack_;
    std::vector<std::uint8_t> work_memory_;
};

}  // namespace

std::vector<std::unique_ptr<BlockCoder>> vrax_coders() {
    std::vector<std::unique_ptr<BlockCoder>> coders;
    for (const ProgramDefinition& c : PROGRAM_TABLE) coders.push_back(std::make_unique<VraxCoder>(c));
    return coders;
}

}  // namespace vrax::bench
