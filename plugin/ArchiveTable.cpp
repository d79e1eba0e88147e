#include "ArchiveTable.h"

#include "FileNumbers.h"

std::uint32_t ArchiveTable::Open(const ArchiveState& state, ArchiveState& dropped) noexcept
{
    Slot* place = &slots_[0];
    for (Slot& slot : slots_) {
        if (slot.number == 0) {
            place = &slot;
            break;
        }
        if (slot.lastUse < place->lastUse) {
            place = &slot;
        }
    }
    if (place->number != 0) {
        place->number = 0;
        dropped = place->state;
    }
    place->state = state;
    place->lastUse = ++clock_;
    // Only a counter gone once round could draw a number still open; it is passed over.
    std::uint32_t number = DrawFileNumber();
    while (SlotOf(number)) {
        number = DrawFileNumber();
    }
    place->number = number;
    return number;
}

ArchiveTable::Slot* ArchiveTable::SlotOf(std::intptr_t handle) noexcept
{
    // Numbers are 32-bit and compared unsigned: on a 32-bit host, handles past 2^31 match.
    const auto number = static_cast<std::uintptr_t>(handle);
    if (number == 0 || static_cast<std::uint32_t>(number) != number) {
        return nullptr;
    }
    for (Slot& slot : slots_) {
        if (slot.number == number) {
            return &slot;
        }
    }
    return nullptr;
}

ArchiveState* ArchiveTable::Find(std::intptr_t handle) noexcept
{
    Slot* slot = SlotOf(handle);
    if (!slot) {
        return nullptr;
    }
    slot->lastUse = ++clock_;
    return &slot->state;
}

bool ArchiveTable::Close(std::intptr_t handle, ArchiveState& closed) noexcept
{
    Slot* slot = SlotOf(handle);
    if (!slot) {
        return false;
    }
    slot->number = 0;
    slot->lastUse = 0;
    closed = slot->state;
    slot->state = ArchiveState();
    return true;
}

bool ArchiveTable::CloseAny(ArchiveState& closed) noexcept
{
    for (Slot& slot : slots_) {
        if (slot.number != 0) {
            return Close(static_cast<std::intptr_t>(slot.number), closed);
        }
    }
    return false;
}
