// The VRAX configurations that vraxbench measures, each bound to its codec as the programs bind
// it, with the driver's block size and block buffer capacity.
#include <cstring>
#include <vector>

#include "bench_coder.h"
#include "driver.h"
#include "vrax1.h"
#include "vrax1a.h"
#include "vrax2.h"
#include "vrax3.h"
#include "vrax3a.h"
#include "vrax5.h"

namespace vrax::bench {
namespace {

struct Configuration {
    const char* name;  // the program's name
    CodecBinding codec;
    std::uint32_t block_size;
};

constexpr std::uint32_t KiB = 1u << 10;
constexpr std::uint32_t MiB = 1u << 20;

// A codec reached through its entry point, and VRAX1's two routines called directly.
constexpr CodecBinding entry(CodecCall* codec_call) { return {codec_call, nullptr, nullptr}; }
constexpr CodecBinding direct(CodecRoutine* compress, CodecRoutine* decompress) {
    return {nullptr, compress, decompress};
}

// One line per program, as programs/<name>.cpp pairs codec and block size.
const Configuration CONFIGURATIONS[] = {
    {"vrax1", direct(vrax1_compress, vrax1_decompress), 1 * MiB},
    {"vrax1a", entry(vrax1a_codec_call), 1 * MiB},
    {"vrax2", entry(vrax2_codec_call), 1 * MiB},
    {"vrax3", entry(vrax3_codec_call), 1 * MiB},
    {"vrax3-64k", entry(vrax3_codec_call), 64 * KiB},
    {"vrax3a", entry(vrax3a_codec_call), 1 * MiB},
    {"vrax3a-16m", entry(vrax3a_codec_call), 16 * MiB},
    {"vrax3a-256m", entry(vrax3a_codec_call), 256 * MiB},
    {"vrax5", entry(vrax5_codec_call), 64 * KiB},
};

// Calls a codec the way the driver does: through its entry point with the run's working memory,
// or through its two routines without one, into a destination of BLOCK_SIZE plus the slack.
class VraxCoder final : public BlockCoder {
public:
    explicit VraxCoder(const Configuration& c)
        : name_(c.name), codec_(c.codec), block_size_(c.block_size),
          slack_(c.codec.codec_call != nullptr ? BLOCK_SLACK : DIRECT_CALL_SLACK) {
        if (codec_.codec_call != nullptr) {
            CodecResult result{};
            codec_.codec_call(ACTION_IDENTIFY, nullptr, nullptr, 0, nullptr, 0, &result);
            work_memory_.resize(result.identity->memory);
        }
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
        CodecStatus status;
        if (codec_.codec_call != nullptr)
            status = codec_.codec_call(action, work_memory_.data(), in, n, out, cap, &result);
        else
            status = (action == ACTION_COMPRESS ? codec_.compress : codec_.decompress)(
                nullptr, in, n, out, cap, &result);
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
    CodecBinding codec_;
    std::uint32_t block_size_;
    std::uint32_t slack_;
    std::vector<std::uint8_t> work_memory_;
};

}  // namespace

std::vector<std::unique_ptr<BlockCoder>> vrax_coders() {
    std::vector<std::unique_ptr<BlockCoder>> coders;
    for (const Configuration& c : CONFIGURATIONS) coders.push_back(std::make_unique<VraxCoder>(c));
    return coders;
}

}  // namespace vrax::bench
