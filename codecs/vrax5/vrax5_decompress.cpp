// VRAX5 decompressor: each item copies a phrase from earlier output and defines the next phrase
// number as that phrase plus the byte that follows it, in step with the compressor's numbering.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "block.h"
#include "compiler.h"
#include "copy.h"
#include "vrax5.h"
#include "vrax5_internal.h"
#include "work_memory.h"

namespace {

// A phrase copy writes at most 256 bytes, since a phrase's length less one is kept in 8 bits. A
// phrase named by an item started at least len - 1 bytes back, so at most its last byte overlaps
// the copy.
constexpr std::uint32_t MAX_PHRASE_COPY = 256;
constexpr std::size_t WIDE_ROOM = vrax::wide_copy_reach(MAX_PHRASE_COPY);

struct Decoder {
    vrax5::DecompressorTables* tables;
    const std::uint8_t* ip;
    std::uint8_t* const out;
    std::uint8_t* op;
    std::uint8_t* const out_end;
    std::uint32_t next;  // the phrase number that the next item defines

    // Decodes `run` items, which number phrases next .. next + run - 1 without passing 65,535,
    // so the loop tests neither the end of the block nor the wrap of the numbers. Until the
    // numbers first wrap, a phrase number at or above `next` was not defined in this block (its
    // entry may be left from an earlier block) and makes the block malformed; after the wrap
    // every number has an entry from this block. Returns CodecStatus::malformed for such a number
    // and CodecStatus::too_long for output that would pass out_end.
    template <bool ALL_DEFINED>
    CodecStatus decode_run(std::uint32_t run) {
        while (run != 0) {
            // Items that fit whatever they copy: each writes at most WIDE_ROOM bytes and moves
            // op on by no more, so these need no test of the room left.
            std::size_t roomy = std::min<std::size_t>(run, std::size_t(out_end - op) / WIDE_ROOM);
            if (roomy == 0) {
                roomy = 1;
                if (const CodecStatus status = decode_item<ALL_DEFINED, false>();
                    status != CodecStatus::ok) [[unlikely]]
                    return status;
            } else {
                for (std::size_t k = 0; k != roomy; ++k)
                    if (const CodecStatus status = decode_item<ALL_DEFINED, true>();
                        status != CodecStatus::ok) [[unlikely]]
                        return status;
            }
            run -= std::uint32_t(roomy);
        }
        return CodecStatus::ok;
    }

    // One item, numbering phrase `next`. ROOMY: at least WIDE_ROOM bytes of output are left.
    template <bool ALL_DEFINED, bool ROOMY>
    VRAX_ALWAYS_INLINE CodecStatus decode_item() {
        std::uint32_t* const start = tables->phrase_start;
        std::uint8_t* const length_less_one = tables->phrase_length_less_one;
        const std::uint32_t x = std::uint32_t(ip[0]) << 8 | ip[1];
        ip += vrax5::ITEM_SIZE;
        if (!ALL_DEFINED && x >= next) [[unlikely]]
            return CodecStatus::malformed;
        // Read x's entry before writing next's: after the wrap they may be the same.
        const std::uint32_t len = std::uint32_t(length_less_one[x]) + 1;
        const std::uint32_t from = start[x];
        start[next] = std::uint32_t(op - out);
        length_less_one[next] = std::uint8_t(len);
        ++next;

        const std::size_t room = std::size_t(out_end - op);
        if (x < vrax5::ROOT_COUNT) {
            if (!ROOMY && room == 0) [[unlikely]]
                return CodecStatus::too_long;
            *op++ = std::uint8_t(x);
            return CodecStatus::ok;
        }
        if (ROOMY || room >= WIDE_ROOM) {
            vrax::copy_forward_wide<MAX_PHRASE_COPY>(op, out + from, len);
        } else {
            if (len > room) [[unlikely]]
                return CodecStatus::too_long;
            vrax::copy_forward_exact(op, out + from, len);
        }
        op += len;
        return CodecStatus::ok;
    }
};

}  // namespace

CodecStatus vrax5_decompress(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                             std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    using namespace vrax;
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);
    if (in_size % vrax5::ITEM_SIZE != 0) [[unlikely]] {
        result->message = vrax5::MESSAGE_ODD_LENGTH;
        return CodecStatus::failed;
    }
    if (reinterpret_cast<std::uintptr_t>(in + BLOCK_HEADER_SIZE) % vrax5::ITEM_SIZE != 0)
        [[unlikely]] {
        result->message = vrax5::MESSAGE_ODD_ALIGNED;
        return CodecStatus::failed;
    }

    auto* const tables = aligned_work_memory<vrax5::DecompressorTables>(work_memory);
    std::memset(tables->phrase_length_less_one, 0, vrax5::ROOT_COUNT);
    Decoder d{tables, in + BLOCK_HEADER_SIZE, out, out, out + out_cap, vrax5::FIRST_PHRASE};

    // Runs of items end where the phrase numbers wrap from 65,535 back to 256.
    std::uint32_t items = (in_size - std::uint32_t(BLOCK_HEADER_SIZE)) / vrax5::ITEM_SIZE;
    bool wrapped = false;
    while (items != 0) {
        const std::uint32_t run = std::min(items, vrax5::PHRASE_COUNT - d.next);
        if (run == 0) [[unlikely]] {
            result->message = vrax5::MESSAGE_NO_RUN;
            return CodecStatus::failed;
        }
        const CodecStatus status = wrapped ? d.decode_run<true>(run) : d.decode_run<false>(run);
        if (status != CodecStatus::ok) [[unlikely]]
            return status;
        items -= run;
        if (d.next == vrax5::PHRASE_COUNT) {
            d.next = vrax5::FIRST_PHRASE;
            wrapped = true;
        }
    }
    result->length = std::uint32_t(d.op - out);
    return CodecStatus::ok;
}
