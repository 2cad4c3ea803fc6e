// VRAX1 and VRAX1-A against their plain model, block by block: inputs of every shape, sizes around
// the group and table boundaries, and for VRAX1-A a table carried through blocks whose sizes go up
// and down, so that entries past a short block's end wait for a longer one.
#include <gtest/gtest.h>

#include "offset_coder_model.h"
#include "test_util.h"
#include "vrax1.h"
#include "vrax1a.h"

namespace vrax::test {
namespace {

Bytes vrax1_block(const Bytes& in) {
    Bytes out(in.size() + 32);
    CodecResult r{};
    EXPECT_EQ(vrax1_compress(nullptr, in.data(), std::uint32_t(in.size()), out.data(),
                             std::uint32_t(out.size()), &r),
              CodecStatus::ok);
    out.resize(r.length);
    return out;
}

const std::uint32_t SIZES[] = {0,   5,    6,    16,   17,   18,    19,   255, 256,   257, 287,  288,
                               289, 4095, 4096, 4097, 4113, 70001, 5000, 300, 70001, 19,  65536};
const Shape SHAPES[] = {Shape::random, Shape::runs, Shape::text, Shape::binary_mix};

TEST(OffsetCoders, Vrax1EqualsPlainModel) {
    std::uint32_t seed = 0;
    for (Shape shape : SHAPES)
        for (std::uint32_t n : SIZES) {
            const Bytes input = generate(shape, n, ++seed);
            std::vector<std::int64_t> table(4096, EMPTY);
            EXPECT_EQ(vrax1_block(input), model_offset_compress(input, VRAX1_MODEL, table))
                << shape_name(shape) << " n=" << n << " seed=" << seed;
        }
}

// One working memory through every size in turn, as a file's blocks or a stream's pieces; the
// input repeats in part from block to block, so carried entries give copies.
TEST(OffsetCoders, Vrax1aEqualsPlainModelWithTheTableCarried) {
    for (Shape shape : SHAPES) {
        CodecSession codec(vrax1a_codec_call);
        std::vector<std::int64_t> table(4096, EMPTY);
        const Bytes source = generate(shape, 80000, 7);
        std::uint32_t seed = 0;
        for (std::uint32_t n : SIZES) {
            Bytes input(source.begin(), source.begin() + n);
            const Bytes noise = generate(Shape::random, n / 8, ++seed);
            std::copy(noise.begin(), noise.end(), input.begin() + n / 2);
            EXPECT_EQ(codec.compress(input), model_offset_compress(input, VRAX1A_MODEL, table))
                << shape_name(shape) << " n=" << n << " seed=" << seed;
        }
    }
}

}  // namespace
}  // namespace vrax::test
