#include "EntryNames.h"

#include "FixedField.h"

namespace {

// In listing order; the first three carry the tag that extraction reads back.
constexpr std::string_view EntrySuffixes[EntryCount] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};
constexpr std::wstring_view WideEntrySuffixes[EntryCount] = {L"_a.txt", L"_k.txt", L"_u.txt", L".txt"};

template <class Char>
std::basic_string_view<Char> BaseNameIn(std::basic_string_view<Char> name) noexcept
{
    // Windows takes either slash; C:report.pdf names report.pdf in drive C's current folder.
    const Char separators[] = {Char('\\'), Char('/'), Char()};
    if (const auto slash = name.find_last_of(separators); slash != name.npos) {
        name.remove_prefix(slash + 1);
    } else if (name.size() >= 2 && name[1] == Char(':')) {
        name.remove_prefix(2);
    }
    if (const auto dot = name.rfind(Char('.')); dot != name.npos) {
        name.remove_suffix(name.size() - dot);
    }
    return name;
}

template <class Char>
bool Acceptable(std::basic_string_view<Char> path, std::size_t size) noexcept
{
    const Char wildcards[] = {Char('*'), Char('?'), Char()};
    return !path.empty() && path.size() < size &&
           path.find_first_of(wildcards, LongPathPrefixSize(path)) == path.npos;
}

} // namespace

std::string_view ArchiveBaseNameOf(std::string_view archivePath) noexcept
{
    return BaseNameIn(archivePath);
}

std::wstring_view ArchiveBaseNameOf(std::wstring_view archivePath) noexcept
{
    return BaseNameIn(archivePath);
}

std::string_view EntrySuffix(int index) noexcept
{
    return index >= 0 && index < EntryCount ? EntrySuffixes[index] : std::string_view();
}

void WriteEntryName(char* field, std::size_t size, std::string_view baseName, int index) noexcept
{
    CopyToField(field, size, {baseName, EntrySuffix(index)});
}

void WriteEntryName(wchar_t* field, std::size_t size, std::wstring_view baseName, int index) noexcept
{
    const std::wstring_view suffix = index >= 0 && index < EntryCount ? WideEntrySuffixes[index] : std::wstring_view();
    CopyToField(field, size, {baseName, suffix});
}

bool IsDocumentPathAcceptable(std::string_view path, std::size_t size) noexcept
{
    return Acceptable(path, size);
}

bool IsDocumentPathAcceptable(std::wstring_view path, std::size_t size) noexcept
{
    return Acceptable(path, size);
}
