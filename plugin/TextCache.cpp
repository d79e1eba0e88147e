#include "TextCache.h"

std::uint64_t KeptText::Bytes() const noexcept
{
    std::uint64_t bytes = text.bytes;
    for (const KeptPages& run : pages) {
        bytes += run.encoding > 0 ? run.file.bytes : 0;
    }
    return bytes;
}

void Released::Add(const KeptFile& file) noexcept
{
    if (file.path && count < sizeof files / sizeof files[0]) {
        files[count++] = file;
    }
}

TextCache::Slot* TextCache::SlotOf(const TextKey& key) noexcept
{
    for (Slot& slot : slots_) {
        if (slot.lastUse != 0 && slot.text.key == key) {
            return &slot;
        }
    }
    return nullptr;
}

bool TextCache::DropOldest(const Slot* keep, Released& dropped) noexcept
{
    Slot* oldest = nullptr;
    for (Slot& slot : slots_) {
        // A text being made is no one's to drop: its maker tells how it went.
        if (slot.lastUse != 0 && !slot.text.making && &slot != keep && (!oldest || slot.lastUse < oldest->lastUse)) {
            oldest = &slot;
        }
    }
    if (!oldest) {
        return false;
    }
    dropped.Add(oldest->text.text);
    for (const KeptPages& run : oldest->text.pages) {
        dropped.Add(run.file);
    }
    *oldest = Slot();
    return true;
}

bool TextCache::MakeRoom(const Slot* keep, std::uint64_t more, std::uint64_t room, Released& dropped) noexcept
{
    const std::uint64_t most = room < KeptBytesMost ? room : KeptBytesMost;
    while (Bytes() + more > most) {
        if (dropped.Full() || !DropOldest(keep, dropped)) {
            return Bytes() + more <= most;
        }
    }
    return true;
}

TextCache::Claim TextCache::Find(const TextKey& key, KeptText& text, Released& dropped) noexcept
{
    if (Slot* slot = SlotOf(key)) {
        if (slot->text.making) {
            return Claim::BeingMade;
        }
        slot->lastUse = ++clock_;
        text = slot->text;
        return Claim::Kept;
    }
    Slot* free = nullptr;
    for (Slot& slot : slots_) {
        free = free ? free : slot.lastUse == 0 ? &slot : nullptr;
    }
    if (!free && DropOldest(nullptr, dropped)) {
        for (Slot& slot : slots_) {
            free = free ? free : slot.lastUse == 0 ? &slot : nullptr;
        }
    }
    if (!free) {
        return Claim::NotKept;
    }
    free->lastUse = ++clock_;
    free->text = KeptText();
    free->text.key = key;
    free->text.making = true;
    return Claim::Make;
}

bool TextCache::Keep(const TextKey& key, const KeptFile& file, std::uint64_t room, Released& dropped) noexcept
{
    Slot* slot = SlotOf(key);
    if (!slot || !slot->text.making) {
        return false;
    }
    if (!MakeRoom(slot, file.bytes, room, dropped)) {
        *slot = Slot();
        return false;
    }
    slot->text.making = false;
    slot->text.text = file;
    slot->lastUse = ++clock_;
    return true;
}

void TextCache::Forget(const TextKey& key) noexcept
{
    if (Slot* slot = SlotOf(key); slot && slot->text.making) {
        *slot = Slot();
    }
}

bool TextCache::KeepPages(const TextKey& key, const KeptPages& pages, std::uint64_t room, Released& dropped) noexcept
{
    Slot* slot = SlotOf(key);
    if (!slot || slot->text.making) {
        return false;
    }
    KeptPages* free = nullptr;
    for (KeptPages& run : slot->text.pages) {
        if (run.encoding == pages.encoding && run.first == pages.first && run.last == pages.last) {
            return false;
        }
        free = free ? free : run.encoding == 0 ? &run : nullptr;
    }
    if (!free || !MakeRoom(slot, pages.file.bytes, room, dropped)) {
        return false;
    }
    *free = pages;
    return true;
}

bool TextCache::FindPages(const TextKey& key, int encoding, unsigned long first, unsigned long last,
                          KeptFile& file) noexcept
{
    Slot* slot = SlotOf(key);
    if (!slot || slot->text.making) {
        return false;
    }
    for (const KeptPages& run : slot->text.pages) {
        if (run.encoding == encoding && run.first == first && run.last == last) {
            file = run.file;
            return true;
        }
    }
    return false;
}

bool TextCache::DropAny(Released& dropped) noexcept
{
    for (Slot& slot : slots_) {
        if (slot.lastUse != 0) {
            dropped.Add(slot.text.text);
            for (const KeptPages& run : slot.text.pages) {
                dropped.Add(run.file);
            }
            slot = Slot();
            return true;
        }
    }
    return false;
}

std::size_t TextCache::Count() const noexcept
{
    std::size_t count = 0;
    for (const Slot& slot : slots_) {
        count += slot.lastUse != 0 && !slot.text.making;
    }
    return count;
}

std::uint64_t TextCache::Bytes() const noexcept
{
    std::uint64_t bytes = 0;
    for (const Slot& slot : slots_) {
        bytes += slot.lastUse != 0 ? slot.text.Bytes() : 0;
    }
    return bytes;
}
