#include "ArchiveTable.h"

int ArchiveTable::Open(const ArchiveState& state, ArchiveState& dropped) noexcept
{
    Slot* place = &slots_[0];
    for (Slot& slot : slots_) {
        if (slot.number.number == 0) {
            place = &slot;
            break;
        }
        if (slot.lastUse < place->lastUse) {
            place = &slot;
        }
    }
    if (place->number.number != 0) {
        UnregisterFileNumber(place->number);
        dropped = place->state;
    }
    place->state = state;
    place->lastUse = ++clock_;
    place->state.Serial = place->lastUse;
    return RegisterFileNumber(place->number);
}

ArchiveTable::Slot* ArchiveTable::SlotOf(std::intptr_t handle) noexcept
{
    if (handle < FirstFileNumber || handle > LastFileNumber) {
        return nullptr;
    }
    for (Slot& slot : slots_) {
        if (slot.number.number == handle) {
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
    UnregisterFileNumber(slot->number);
    slot->lastUse = 0;
    closed = slot->state;
    slot->state = ArchiveState();
    return true;
}

bool ArchiveTable::CloseAny(ArchiveState& closed) noexcept
{
    for (Slot& slot : slots_) {
        if (slot.number.number != 0) {
            return Close(slot.number.number, closed);
        }
    }
    return false;
}
