#include "ImportPatch.h"

#include <cstring>

namespace {

// Writes one pointer into a page that the loader has made read-only.
void WriteSlot(const void** slot, const void* value)
{
    DWORD previous = 0;
    if (::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) {
        *slot = value;
        ::VirtualProtect(slot, sizeof *slot, previous, &previous);
        ::FlushInstructionCache(::GetCurrentProcess(), slot, sizeof *slot);
    }
}

} // namespace

ImportPatch::ImportPatch(HMODULE module, const char* fromLibrary, const char* function, const void* replacement)
{
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return;
    }
    for (auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), fromLibrary) != 0) {
            continue;
        }
        // The names stay in the lookup table; the address table holds what the loader bound.
        const DWORD lookup = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                slot_ = reinterpret_cast<const void**>(&addresses->u1.Function);
                original_ = *slot_;
                WriteSlot(slot_, replacement);
                return;
            }
        }
    }
}

ImportPatch::~ImportPatch()
{
    if (slot_) {
        WriteSlot(slot_, original_);
    }
}
