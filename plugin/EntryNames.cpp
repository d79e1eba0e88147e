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

std::string_view ArchiveBaseNameOf(std::string_view archivePath, const AnsiCharacters& characters) noexcept
{
    // Read forward, character by character: a second byte equal to \ or . is no separator.
    std::size_t start = 0;
    std::size_t dot = archivePath.npos;
    for (std::size_t at = 0; at < archivePath.size(); at += characters.SizeAt(archivePath, at)) {
        if (characters.SizeAt(archivePath, at) != 1) {
            continue;
        }
        const char c = archivePath[at];
        if (c == '\\' || c == '/' || (c == ':' && at == 1 && start == 0)) {
            start = at + 1;
            dot = archivePath.npos;
        } else if (c == '.') {
            dot = at;
        }
    }
    const std::size_t end = dot == archivePath.npos ? archivePath.size() : dot;
    return std::string_view(archivePath.data() + start, end - start);
}

std::wstring_view ArchiveBaseNameOf(std::wstring_view archivePath) noexcept
{
    return BaseNameIn(archivePath);
}

std::string_view EntrySuffix(int index) noexcept
{
    return index >= 0 && index < EntryCount ? EntrySuffixes[index] : std::string_view();
}

void WriteEntryName(char* field, std::size_t size, std::string_view baseName, int index,
                    const AnsiCharacters& characters) noexcept
{
    if (size != 0 && baseName.size() >= size) { // the suffix, plain ASCII, may be cut anywhere
        baseName = std::string_view(baseName.data(), characters.WholeCharactersIn(baseName, size - 1));
        CopyToField(field, baseName.size() + 1, baseName);
        return;
    }
    CopyToField(field, size, {baseName, EntrySuffix(index)});
}

void WriteEntryName(wchar_t* field, std::size_t size, std::wstring_view baseName, int index) noexcept
{
    const std::wstring_view suffix = index >= 0 && index < EntryCount ? WideEntrySuffixes[index] : std::wstring_view();
    if (size != 0 && baseName.size() >= size) {
        const std::size_t keep = size - 1;
        const bool splitsPair = keep != 0 && baseName[keep - 1] >= 0xD800 && baseName[keep - 1] <= 0xDBFF;
        baseName = std::wstring_view(baseName.data(), splitsPair ? keep - 1 : keep);
        CopyToField(field, baseName.size() + 1, {baseName});
        return;
    }
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
