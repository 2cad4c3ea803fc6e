// Slot tables rebuilt in step by compressor and decompressor (VRAX3, VRAX3-A): a copy item names a
// slot instead of an offset, so both sides must insert the same positions in the same order.
//
// A position enters the table under a key computed from its three bytes. A literal's bytes are
// not all known to the decoder until two more bytes follow it, so both sides defer a literal's
// insertion: it happens at the second item after the literal, or at the first copy after it,
// whichever comes first. A copy's own position goes in last, under the key of the slot it names.
//
// The codec supplies the Table:
//     static std::uint32_t key(std::uint32_t product);      where three bytes go (hash3_product)
//     static std::uint32_t key_of_slot(std::uint32_t slot); where a copy naming `slot` goes
//     std::uint32_t entry(std::uint32_t slot) const;        the position that `slot` holds
//     void insert(std::uint32_t key, std::uint32_t position);
//     static constexpr bool TWO_LITERALS_IN_A_REGISTER;     see SlotCopyItems
// Entries are 32-bit positions in the current block, or FILL_POSITION for the fill string.
#pragma once

#include <algorithm>
#include <cstdint>

#include "block.h"
#include "bytes.h"
#include "codec.h"
#include "copy.h"
#include "fill_string.h"
#include "hash3.h"
#include "item_format.h"
#include "item_stream.h"
#include "work_memory.h"

namespace vrax {

// The state at the start of every coding call: every slot (TABLE_ENTRIES of 32 bits, 16 KiB of
// the working memory) names the fill string.
inline void fill_slot_table(std::uint32_t* slots) {
    std::fill_n(slots, TABLE_ENTRIES, FILL_POSITION);
}

// Compressor side: the keys of up to two literals coded at matched offsets just before the
// current item, whose positions have yet to enter the table. The newer one belongs to position
// i - 1, the older one to i - 2; a copy clears both.
//
// A Table with a scratch slot (Table::SCRATCH_KEY, a key whose insertion no lookup ever sees)
// holds it in place of a literal that is not pending, so that every insertion can be made without
// asking whether it is due: how many literals are pending follows the data, and a branch on it
// is often mispredicted.
template <class Table>
class PendingInsertions {
public:
    // A literal coded at matched offset i, its three bytes under `key`. The literal two items
    // back (if pending) enters now; this one waits.
    void literal(Table& table, std::uint32_t i, std::uint32_t key) {
        enter_due(table, i);
        literal_rest(key);
    }

    // A copy at offset i under `key`: the pending literals enter, oldest first, then the copy's
    // own position, last, so that it wins a slot that they share.
    void copy(Table& table, std::uint32_t i, std::uint32_t key) {
        enter_due(table, i);
        copy_rest(table, i, key);
    }

    // The same in two steps, for a compressor that looks up the next position in between: the
    // insertion that is due at item i whatever it turns out to be (the literal two items back),
    // then the rest of the literal's or the copy's.
    void enter_due(Table& table, std::uint32_t i) {
        if constexpr (SCRATCH) {
            table.insert(older_, i - 2);
        } else if (pending_ == 2) {
            table.insert(older_, i - 2);
            pending_ = 1;
        }
    }
    void literal_rest(std::uint32_t key) {
        if constexpr (!SCRATCH) ++pending_;
        older_ = newer_;
        newer_ = key;
    }
    void copy_rest(Table& table, std::uint32_t i, std::uint32_t key) {
        if constexpr (SCRATCH) {
            table.insert(newer_, i - 1);
            older_ = newer_ = Table::SCRATCH_KEY;
        } else {
            if (pending_ >= 1) table.insert(newer_, i - 1);
            pending_ = 0;
        }
        table.insert(key, i);
    }

private:
    static constexpr bool SCRATCH = requires { Table::SCRATCH_KEY; };

    std::uint32_t older_ = initial_key();
    std::uint32_t newer_ = initial_key();
    std::uint32_t pending_ = 0;  // 0 to 2; unused with a scratch slot

    static constexpr std::uint32_t initial_key() {
        if constexpr (SCRATCH)
            return Table::SCRATCH_KEY;
        else
            return 0;
    }
};

// Decompressor side: the Items of decode_items. It counts the literals since the last copy
// (capped at 2) and inserts each literal's position as soon as its three bytes are written, which
// is the moment the compressor inserts it. Every position it inserts lies before the output
// position, and it reads only bytes already written, so a hostile block cannot make it read
// outside the output: a slot names either written output or the fill string.
//
// A table write's address comes from three bytes, and the next copy's table read waits for that
// address whenever the processor cannot tell the two apart, which short-period data (counters,
// samples) makes it expect. So no key waits on a byte written just before: a literal's own byte
// comes in a register, and a copy's first two bytes are read from its source, not from where the
// copy has just put them. The two literals before a literal are read back from the output, or,
// where the Table says TWO_LITERALS_IN_A_REGISTER, kept in a register as well: VRAX3's item loop
// has one to spare, VRAX3-A's (with its way counter) would spill others for it.
template <class Table>
class SlotCopyItems {
public:
    static constexpr std::uint32_t LENGTH_BIAS = vrax::LENGTH_BIAS;

    explicit SlotCopyItems(Table table) : table_(table) {}

    // A literal `byte` was written at op: the literal two back now has its three bytes.
    void literal(std::uint8_t* out, std::uint8_t* op, std::uint8_t byte) {
        if (literals_ == 2)
            insert(hash3_product(older_literal(op), last_literal(op), byte), op - 2 - out);
        else
            ++literals_;
        if constexpr (IN_A_REGISTER) recent_ = (recent_ << 8 | byte) & 0xFFFF;
    }

    template <bool WIDE>
    bool copy(std::uint8_t* out, std::uint8_t* op, std::uint32_t slot, std::uint32_t len) {
        const auto o = std::uint32_t(op - out);
        const std::uint32_t entry = table_.entry(slot);
        // Cannot fail: every inserted position is below the output position at that time.
        if (!copy_from_entry<WIDE>(out, op, entry, len)) [[unlikely]]
            return false;
        // The pending literals' three bytes end at the copy's second byte at the latest (len ≥ 3).
        if (literals_ != 0) {
            const auto [first, second] = first_two_bytes(out, o, entry);
            const std::uint32_t last = last_literal(op);
            if (literals_ == 2) insert(hash3_product(older_literal(op), last, first), o - 2);
            insert(hash3_product(last, first, second), o - 1);
            literals_ = 0;
        }
        table_.insert(Table::key_of_slot(slot), o);
        return true;
    }

private:
    static constexpr bool IN_A_REGISTER = Table::TWO_LITERALS_IN_A_REGISTER;

    // The literal just before op, and the one before it; only for literals since the last copy.
    std::uint32_t last_literal(const std::uint8_t* op) const {
        return IN_A_REGISTER ? recent_ & 0xFF : op[-1];
    }
    std::uint32_t older_literal(const std::uint8_t* op) const {
        return IN_A_REGISTER ? recent_ >> 8 : op[-2];
    }

    struct TwoBytes {
        std::uint32_t first, second;
    };
    // The first two bytes that a copy from `entry` to position o has written: the fill string's,
    // or those at the source (for a source one byte back, the second is the copy's first, which
    // it repeats). Called after the copy, so `entry` is FILL_POSITION or below o.
    static TwoBytes first_two_bytes(const std::uint8_t* out, std::uint32_t o, std::uint32_t entry) {
        // The fill string is the rare case. Written as a plain select, this became a branch with
        // the usual load out of line and the fill string's bytes in line; same-binary runs
        // decoded 1.5 to 2.3% slower (VRAX3) and 0.9 to 1.6% (VRAX3-A).
        const std::uint8_t* from = FILL_STRING_PADDED.data();
        if (entry < o) [[likely]]
            from = out + entry;
        const std::uint32_t two = load16(from);
        return {two & 0xFF, two >> 8};
    }

    void insert(std::uint32_t product, std::ptrdiff_t position) {
        table_.insert(Table::key(product), std::uint32_t(position));
    }

    Table table_;
    std::uint32_t literals_ = 0;  // literals since the last copy, at most 2
    std::uint32_t recent_ = 0;    // IN_A_REGISTER: the last two literals, the older in bits 8-15
};

// The whole decompressor of a slot codec: a stored block is copied; a coded one is decoded with a
// table that starts with every slot naming the fill string.
template <class Table>
CodecStatus decompress_slot_block(void* work_memory, const std::uint8_t* in, std::uint32_t in_size,
                                  std::uint8_t* out, std::uint32_t out_cap, CodecResult* result) {
    if (!is_coded_block(in, in_size)) return decode_stored_block(in, in_size, out, out_cap, result);
    Table table{aligned_work_memory<std::uint32_t>(work_memory)};
    fill_slot_table(table.slots);
    SlotCopyItems<Table> items(table);
    return decode_items(in, in_size, out, out_cap, result, items);
}

}  // namespace vrax
