#include "EntryNames.h"

#include "FixedField.h"

namespace {

// In listing order; the first three carry the tag that extraction reads back.
constexpr std::string_view EntrySuffixes[EntryCount] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};

} // namespace

std::string_view ArchiveBaseNameOf(std::string_view archivePath) noexcept
{
    std::string_view name = archivePath;
    // Windows takes either slash; C:report.pdf names report.pdf in drive C's current folder.
    if (const auto slash = name.find_last_of("\\/"); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    } else if (name.size() >= 2 && name[1] == ':') {
        name.remove_prefix(2);
    }
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos) {
        name.remove_suffix(name.size() - dot);
    }
    return name;
}

std::string_view EntrySuffix(int index) noexcept
{
    return index >= 0 && index < EntryCount ? EntrySuffixes[index] : std::string_view();
}

void WriteEntryName(char* field, std::size_t size, std::string_view baseName, int index) noexcept
{
    CopyToField(field, size, {baseName, EntrySuffix(index)});
}

bool IsDocumentPathAcceptable(std::string_view path, std::size_t size) noexcept
{
    return !path.empty() && path.size() < size && path.find_first_of("*?") == std::string_view::npos;
}
