// A command-line host: drives a plug-in library exactly as the file manager does.
#include "PluginHost.h"
#include "ResultCodes.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* Usage = "usage: PaperlensHost list <library> <document>";

int List(const PluginLibrary& library, const std::string& document)
{
    std::printf("GetPackerCaps: %d\n", library.GetPackerCaps());
    const Listing listing = ListDocument(library, document);
    std::printf("OpenArchive: handle %lld", static_cast<long long>(listing.handle));
    if (listing.requestResultWritten) {
        std::printf(", result %d", static_cast<int>(listing.requestResult));
    }
    std::printf("\n");
    int faults = listing.openRecordChanges.empty() ? 0 : 1;
    if (faults) {
        std::printf("  open record: %s\n", listing.openRecordChanges.c_str());
    }
    for (const ListedEntry& entry : listing.entries) {
        if (entry.result == ResultSuccess) {
            std::printf("ReadHeader: %d  %-40s packed %d unpacked %d time 0x%08X (%s)\n", entry.result,
                        entry.name.c_str(), static_cast<int>(entry.packedSize), static_cast<int>(entry.unpackedSize),
                        static_cast<unsigned>(entry.time), FormatDosTime(entry.time).c_str());
        } else {
            std::printf("ReadHeader: %d\n", entry.result);
        }
        if (!entry.recordChanges.empty()) {
            std::printf("  header record: %s\n", entry.recordChanges.c_str());
            ++faults;
        }
    }
    if (listing.handle) {
        std::printf("CloseArchive: %d\n", listing.closeResult);
    }
    return listing.handle && faults == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "list") == 0) {
        std::string error;
        const auto library = PluginLibrary::Load(argv[2], error);
        if (!library) {
            std::fprintf(stderr, "PaperlensHost: cannot use %s: %s\n", argv[2], error.c_str());
            return 2;
        }
        return List(*library, argv[3]);
    }
    std::fprintf(stderr, "%s\n", Usage);
    return 2;
}
