// VRAX3-A's constants and its set-associative slot table, shared by its sources and its tests.
#pragma once

#include <cstdint>

#include "hash3.h"
#include "item_format.h"
#include "slot_table.h"

namespace vrax3a {

// TABLE_ENTRIES (4096) slots of 32 bits as 512 sets of 8 ways: slot = set * 8 + way.
inline constexpr std::uint32_t WAYS = 8;
inline constexpr std::uint32_t WORK_SIZE = 16400;
static_assert(vrax::TABLE_ENTRIES * sizeof(std::uint32_t) + 3 <= WORK_SIZE);

// The table as the shared slot-table code sees it. A key is the first slot of a set; one cycle
// counter, shared by all sets, picks the way that the next insertion overwrites.
struct WaySets {
    std::uint32_t* slots;
    std::uint32_t cycle = 0;

    // First slot of the set of the three bytes at p: the 9-bit set (product bits 4 to 12) times 8.
    static constexpr std::uint32_t KEY_SHIFT = 1;
    static constexpr std::uint32_t KEY_MASK = 0xFF8;
    static std::uint32_t key(std::uint32_t product) { return product >> KEY_SHIFT & KEY_MASK; }
    // Its item loop reads the last two literals back (see SlotCopyItems).
    static constexpr bool TWO_LITERALS_IN_A_REGISTER = false;
    // A copy's own position goes into the set of the slot it names.
    static std::uint32_t key_of_slot(std::uint32_t slot) { return slot & ~(WAYS - 1); }

    std::uint32_t entry(std::uint32_t slot) const { return slots[slot]; }

    void insert(std::uint32_t first, std::uint32_t position) {
        slots[first + cycle] = position;
        cycle = (cycle + 1) & (WAYS - 1);
    }
};

}  // namespace vrax3a
