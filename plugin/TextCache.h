// The converter's texts of documents, kept while the library is loaded so that a document
// searched again is not converted again: by the document's identity, and only while the
// document, the converter and the code page are those the text was made with.
#pragma once

#include <cstddef>
#include <cstdint>

// The bounds of what is kept, in one place.
constexpr std::size_t KeptDocumentsMost = 512;
constexpr std::uint64_t KeptBytesMost = 256ull * 1024 * 1024;
constexpr std::uint64_t KeptShareOfFreeSpace = 10; // at most a tenth of the temporary folder's free space

// What a kept text was made from: a document that changed, was replaced, or is converted by
// another converter or for another code page, is another key.
struct TextKey {
    std::uint32_t volume = 0;
    std::uint64_t file = 0;      // the file's index on its volume
    std::uint64_t size = 0;
    std::uint64_t written = 0;   // its last-write time
    std::uint64_t converter = 0; // the converter's path and its last-write time, hashed
    std::uint32_t codePage = 0;

    bool operator==(const TextKey& other) const noexcept
    {
        return volume == other.volume && file == other.file && size == other.size && written == other.written &&
               converter == other.converter && codePage == other.codePage;
    }
};

// A kept file: its name (memory from the process heap) and a delete-on-close handle to it,
// so that Windows removes it when the last handle goes, however the host ends.
struct KeptFile {
    wchar_t* path = nullptr;
    void* handle = nullptr;
    std::uint64_t bytes = 0;
};

// The text of some pages in one encoding, run by the converter for those pages alone.
struct KeptPages {
    int encoding = 0; // which of the encodings that take page runs, from 1; 0 while the place is free
                      // (all zeros, so that the module-wide cache takes no room in the file)
    unsigned long first = 0;
    unsigned long last = 0;
    KeptFile file;
};
constexpr std::size_t KeptPageRunsMost = 2;

struct KeptText {
    TextKey key;
    bool making = false; // a thread runs the converter for it now; no file yet
    KeptFile text;
    KeptPages pages[KeptPageRunsMost];

    std::uint64_t Bytes() const noexcept;
};

// Files let go of, for the caller to close outside the lock: the files of a few texts.
struct Released {
    static constexpr std::size_t Texts = 8;
    KeptFile files[Texts * (1 + KeptPageRunsMost)];
    std::size_t count = 0;
    void Add(const KeptFile& file) noexcept;
    bool Full() const noexcept { return count + 1 + KeptPageRunsMost > sizeof files / sizeof files[0]; }
};

// Needs no constructor to run: usable as module-wide state from the first instant.
class TextCache {
public:
    enum class Claim { Kept, BeingMade, Make, NotKept };
    // Under the lock. Kept: `text` is a copy of what is kept for the key (the caller
    // duplicates its handles before the lock goes). BeingMade: another thread makes it.
    // Make: this caller is to make it, and tells the outcome with Keep or Forget.
    // NotKept: no room for it even after dropping the texts used longest ago.
    Claim Find(const TextKey& key, KeptText& text, Released& dropped) noexcept;

    // The text made for a key Find answered Make to. It is kept while it fits: at most
    // KeptBytesMost in all, and `room` (the temporary folder's share); the texts used longest
    // ago go first. False when it does not fit: the caller keeps the file.
    bool Keep(const TextKey& key, const KeptFile& file, std::uint64_t room, Released& dropped) noexcept;
    // The key's text is not made after all (the run failed or was stopped).
    void Forget(const TextKey& key) noexcept;

    // A page run for a kept text; false when the text is not kept, the run is kept already,
    // or there is no room (then the caller keeps the file).
    bool KeepPages(const TextKey& key, const KeptPages& pages, std::uint64_t room, Released& dropped) noexcept;
    // The kept run of those pages in that encoding; false when there is none.
    bool FindPages(const TextKey& key, int encoding, unsigned long first, unsigned long last, KeptFile& file) noexcept;

    // Lets one kept text go, into `dropped`; false when none is left. At unload.
    bool DropAny(Released& dropped) noexcept;

    std::size_t Count() const noexcept;
    std::uint64_t Bytes() const noexcept;

private:
    struct Slot {
        std::uint64_t lastUse = 0; // 0 while the place is free
        KeptText text;
    };
    Slot* SlotOf(const TextKey& key) noexcept;
    // Drops the ready text used longest ago, other than `keep`; false when there is none.
    bool DropOldest(const Slot* keep, Released& dropped) noexcept;
    // Drops the oldest texts until `more` bytes fit beside what is kept, within `room`.
    bool MakeRoom(const Slot* keep, std::uint64_t more, std::uint64_t room, Released& dropped) noexcept;

    Slot slots_[KeptDocumentsMost];
    std::uint64_t clock_ = 0;
};
