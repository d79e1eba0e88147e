#include "ConverterFacts.h"

#include "BoxFreeCall.h"
#include "CodePage.h"
#include "ConverterPaths.h"
#include "EntryText.h"
#include "HeapText.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

// The converter's exit codes for `-enc <name>` on a document that does not exist: it looks
// the encoding up before it opens the document.
constexpr std::uint32_t KnowsEncoding = 1;
constexpr std::uint32_t LacksEncoding = 99;
// Room for the map of a double-byte code page, written in runs.
constexpr std::size_t LongestCodePageMap = 256 * 1024;

bool IsFolder(const wchar_t* path) noexcept
{
    const DWORD attributes = BoxFreeCall([path] { return ::GetFileAttributesW(path); }).value;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The unicodeMap folder of the candidate data folder `level` folders up.
bool MapsFolderOf(std::wstring_view converter, int level, WideHeapText& folder) noexcept
{
    bool there = false;
    return folder.Build([&](WideTextBuilder& out) {
        there = AppendDataFolder(out, converter, level);
        out.Append(std::wstring_view(L"\\unicodeMap"));
    }) && there;
}

// A new file holding `content` whole; false when the name is taken or the write falls short.
bool WriteNewFile(const wchar_t* path, std::string_view content) noexcept
{
    const UniqueHandle<> file(BoxFreeCall([path] {
        return ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }).value);
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

// One candidate at a time: a map no converter ships, under a temporary name, asked for by
// that name with a document that does not exist.
class DataFolderProbe {
public:
    DataFolderProbe(std::wstring_view converter, const RunWatch& host, bool& stopped) noexcept
        : converter_(converter), host_(host), stopped_(stopped)
    {
    }

    bool Place(int level) noexcept
    {
        WideHeapText folder;
        if (!MapsFolderOf(converter_, level, folder) || !IsFolder(folder.Data()) ||
            !map_.Name(folder.Text(), L".map")) {
            return false;
        }
        if (!WriteNewFile(map_.Path(), "0020 20\n")) {
            Remove(); // a file cut short is no probe, and goes
            return false;
        }
        return true;
    }

    // 1 known, 0 unknown, -1 no answer.
    int Ask() noexcept
    {
        const std::wstring_view path = map_.Text();
        const std::size_t slash = path.rfind(L'\\') + 1;
        const std::wstring_view name(path.data() + slash, path.size() - slash);
        WideHeapText line;
        if (!line.Build([&](WideTextBuilder& out) {
                out.Append(1, L'"').Append(converter_).Append(std::wstring_view(L"\" -enc ")).Append(name);
                out.Append(std::wstring_view(L" \"")).Append(path).Append(std::wstring_view(L".pdf\""));
            })) {
            return -1;
        }
        // What it says of the missing document goes nowhere, not to the host's console.
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        const UniqueHandle<> nowhere(BoxFreeCall([&] {
            return ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr);
        }).value);
        const LaunchResult run = AskConverter(line.Data(), host_, nowhere.Get(), stopped_);
        if (!run.exitCodeKnown || (run.exitCode != KnowsEncoding && run.exitCode != LacksEncoding)) {
            return -1;
        }
        return run.exitCode == KnowsEncoding ? 1 : 0;
    }

    void Remove() noexcept { RemoveTemporaryFile(map_.Release()); }

private:
    std::wstring_view converter_;
    const RunWatch& host_;
    bool& stopped_;
    TemporaryFile map_;
};

// The ANSI map in `maps`: left as it is when one is there, else the code page's put there,
// whole or not at all.
AnsiMap PlaceAnsiMap(std::wstring_view maps) noexcept
{
    const UINT codePage = ::GetACP();
    HeapText ours(LongestCodePageMap);
    WideHeapText path;
    if (codePage == CP_UTF8 || ours.Size() == 0 ||
        !path.Build([&](WideTextBuilder& out) { out.Append(maps).Append(std::wstring_view(L"\\ANSI")); })) {
        return AnsiMap::Missing;
    }
    TextBuilder out(ours.Data(), ours.Size());
    AppendCodePageMap(out, codePage);
    if (out.Overflowed()) {
        return AnsiMap::Missing;
    }
    // A second look when another host moved its map into place first.
    for (int look = 0; look < 2; ++look) {
        HeapText there;
        bool missing = false;
        if (ReadSmallFile(path.Data(), there, missing)) {
            return std::string_view(there.Data(), there.Size() - 1) == out.Text() ? AnsiMap::Ours : AnsiMap::Other;
        }
        if (!missing) {
            return AnsiMap::Other; // there, but not one the plug-in reads: the converter's own runs use it
        }
        TemporaryFile written;
        if (!written.Name(maps, L".map") || !WriteNewFile(written.Path(), out.Text())) {
            return AnsiMap::Missing;
        }
        const wchar_t* from = written.Path();
        const wchar_t* to = path.Data();
        // Never over a map already there: a map of someone else's stays theirs.
        if (BoxFreeCall([&] { return ::MoveFileExW(from, to, 0); }).value) {
            return AnsiMap::Ours;
        }
    }
    return AnsiMap::Missing;
}

} // namespace

ConverterFacts AskConverterFacts(std::wstring_view converter, const RunWatch& host, bool& stopped) noexcept
{
    ConverterFacts facts;
    facts.family = AskConverterFamily(converter, host, stopped);
    if (stopped || facts.family != ConverterFamily::DataFolderMaps) {
        return facts;
    }
    DataFolderProbe probe(converter, host, stopped);
    const int level = DataFolderLevelOf([&](int at) { return probe.Place(at); }, [&] { return probe.Ask(); },
                                        [&](int) { probe.Remove(); });
    WideHeapText maps;
    if (stopped || level < 0 || !MapsFolderOf(converter, level, maps)) {
        return facts;
    }
    const std::wstring_view folder = maps.Text();
    facts.dataFolder.Assign(std::wstring_view(folder.data(), folder.size() - std::wstring_view(L"\\unicodeMap").size()));
    facts.ansi = PlaceAnsiMap(folder);
    return facts;
}
