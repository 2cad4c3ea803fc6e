// VRAX3's constants and its direct-mapped slot table, shared by its sources and its tests.
#pragma once

#include <cstdint>

#include "hash3.h"
#include "item_format.h"
#include "slot_table.h"

namespace vrax3 {

inline constexpr std::uint32_t WORK_SIZE = 16400;
// The table, and behind it one scratch slot for the compressor.
static_assert((vrax::TABLE_ENTRIES + 1) * sizeof(std::uint32_t) + 3 <= WORK_SIZE);

// The table as the shared slot-table code sees it: a key is a slot, and an insertion replaces
// whatever the slot held.
struct DirectSlots {
    std::uint32_t* slots;

    static std::uint32_t key(std::uint32_t product) { return vrax::slot_of_product(product); }
    // Its item loop keeps the last two literals in a register (see SlotCopyItems).
    static constexpr bool TWO_LITERALS_IN_A_REGISTER = true;
    static std::uint32_t key_of_slot(std::uint32_t slot) { return slot; }

    std::uint32_t entry(std::uint32_t slot) const { return slots[slot]; }
    void insert(std::uint32_t slot, std::uint32_t position) { slots[slot] = position; }
};

}  // namespace vrax3
