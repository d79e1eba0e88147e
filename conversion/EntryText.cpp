#include "EntryText.h"

#include "BoxFreeCall.h"
#include "CodePage.h"
#include "CommandLine.h"
#include "ConverterPaths.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdint>

namespace {

// The text is read in pieces of this size; an entry's bytes are at most four per byte of
// it, and the code page's answers are remembered per character: well under 1 MiB in all.
constexpr DWORD PieceSize = 64 * 1024;
constexpr std::size_t OutputSize = 4 * PieceSize;
// A map file or an xpdfrc longer than this is not one the library reads.
constexpr DWORD LongestSettingsFile = 256 * 1024;

UniqueHandle<> OpenForReading(const wchar_t* path) noexcept
{
    // Shared for deletion: the archive's text may be removed by its close meanwhile, and is
    // then gone once this reading ends.
    return UniqueHandle<>(BoxFreeCall([path] {
        return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    }).value);
}

// Memory from the process heap, zeroed, given back when its owner goes.
class HeapBlock {
public:
    explicit HeapBlock(std::size_t size) noexcept : data_(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size)) {}
    ~HeapBlock()
    {
        if (data_) {
            ::HeapFree(::GetProcessHeap(), 0, data_);
        }
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    template <class T>
    T* As() const noexcept
    {
        return static_cast<T*>(data_);
    }

private:
    void* data_;
};

// Turns characters into the entry's bytes, the code page's answers remembered.
class Encoder {
public:
    explicit Encoder(const EntryEncoding& encoding) noexcept
        : encoding_(encoding), known_(encoding.kind == EntryEncoding::CodePage ? MapCharacters * sizeof(std::uint32_t) : 0)
    {
    }
    bool Ready() const noexcept { return encoding_.kind != EntryEncoding::CodePage || known_.As<std::uint32_t>(); }

    int Encode(std::uint32_t character, unsigned char (&bytes)[4]) noexcept
    {
        if (encoding_.kind == EntryEncoding::Map) {
            return encoding_.map->Map(character, bytes);
        }
        if (character >= MapCharacters) {
            return 0;
        }
        // Remembered as the size plus one in the low byte, then the bytes.
        std::uint32_t& known = known_.As<std::uint32_t>()[character];
        if (known == 0) {
            const int size = CodePageBytes(encoding_.codePage, character, bytes);
            known = static_cast<std::uint32_t>(size + 1) | (size > 0 ? std::uint32_t{bytes[0]} << 8 : 0) |
                    (size > 1 ? std::uint32_t{bytes[1]} << 16 : 0);
        }
        bytes[0] = static_cast<unsigned char>(known >> 8);
        bytes[1] = static_cast<unsigned char>(known >> 16);
        return static_cast<int>(known & 0xFF) - 1;
    }

private:
    const EntryEncoding& encoding_;
    HeapBlock known_;
};

bool WriteAll(HANDLE file, const char* bytes, std::size_t size) noexcept
{
    DWORD written = 0;
    return size == 0 || (BoxFreeCall([&] {
                             return ::WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
                         }).value &&
                         written == size);
}

// A small file whole; `missing` tells a file that is not there from one that cannot be read.
bool ReadSmallFile(const wchar_t* path, HeapText& content, bool& missing) noexcept
{
    const auto opened = BoxFreeCall([path] {
        return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    const UniqueHandle<> file(opened.value);
    missing = !file && (opened.lastError == ERROR_FILE_NOT_FOUND || opened.lastError == ERROR_PATH_NOT_FOUND);
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart >= LongestSettingsFile) {
        return false;
    }
    HeapText read(static_cast<std::size_t>(size.QuadPart) + 1);
    DWORD got = 0;
    if (read.Size() == 0 ||
        !::ReadFile(file.Get(), read.Data(), static_cast<DWORD>(size.QuadPart), &got, nullptr) ||
        got != static_cast<DWORD>(size.QuadPart)) {
        return false;
    }
    read.Data()[got] = '\0';
    content.Swap(read);
    return true;
}

MapFound ReadMapFile(const wchar_t* path, UnicodeMap& map) noexcept
{
    HeapText content;
    bool missing = false;
    if (!ReadSmallFile(path, content, missing)) {
        return missing ? MapFound::None : MapFound::Unusable;
    }
    return map.Parse(std::string_view(content.Data(), content.Size() - 1)) ? MapFound::Yes : MapFound::Unusable;
}

} // namespace

EntryWrite WriteEntryFromText(const wchar_t* text, const wchar_t* target, const EntryEncoding& encoding) noexcept
{
    const UniqueHandle<> input = OpenForReading(text);
    if (!input) {
        return EntryWrite::NotDerived;
    }
    Encoder encoder(encoding);
    HeapText piece(PieceSize);
    HeapText output(OutputSize);
    if (!encoder.Ready() || piece.Size() == 0 || output.Size() == 0) {
        return EntryWrite::NotWritten;
    }
    // Written under a temporary name beside the target and moved onto it once whole.
    TemporaryFile written;
    if (!written.Name(FolderOf(std::wstring_view(target)), L".txt")) {
        return EntryWrite::NotWritten;
    }
    const wchar_t* writtenPath = written.Path();
    UniqueHandle<> file(BoxFreeCall([writtenPath] {
        return ::CreateFileW(writtenPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }).value);
    if (!file) {
        return EntryWrite::NotWritten;
    }
    Utf8Reader reader;
    bool derived = true;
    bool stored = true;
    for (;;) {
        DWORD read = 0;
        if (!BoxFreeCall([&] { return ::ReadFile(input.Get(), piece.Data(), PieceSize, &read, nullptr); }).value) {
            return EntryWrite::NotDerived;
        }
        if (read == 0) {
            break;
        }
        if (encoding.kind == EntryEncoding::Utf8) {
            stored = WriteAll(file.Get(), piece.Data(), read);
        } else {
            std::size_t size = 0;
            derived = reader.Read(reinterpret_cast<const unsigned char*>(piece.Data()), read, [&](std::uint32_t c) {
                unsigned char bytes[4];
                const int count = encoder.Encode(c, bytes);
                derived = derived && LayoutCheck::Take(c, count);
                for (int i = 0; i < count; ++i) {
                    output.Data()[size++] = static_cast<char>(bytes[i]);
                }
            }) && derived;
            stored = WriteAll(file.Get(), output.Data(), size);
        }
        if (!derived) {
            return EntryWrite::NotDerived;
        }
        if (!stored) {
            return EntryWrite::NotWritten;
        }
    }
    if (!reader.Finished()) {
        return EntryWrite::NotDerived;
    }
    file.Reset();
    return written.MoveTo(target) ? EntryWrite::Written : EntryWrite::NotWritten;
}

MapFound ReadKoi8RMap(ConverterFamily family, std::wstring_view converter, UnicodeMap& map) noexcept
{
    WideHeapText path;
    if (family == ConverterFamily::DataFolderMaps) {
        if (!path.Build([&](WideTextBuilder& out) {
                AppendDataFolderMaps(out, converter);
                out.Append(std::wstring_view(L"\\KOI8-R"));
            })) {
            return MapFound::Unusable;
        }
        return ReadMapFile(path.Data(), map);
    }
    WideHeapText config;
    if (family != ConverterFamily::ConfigFileMaps ||
        !config.Build([&](WideTextBuilder& out) { out.Append(FolderOf(converter)).Append(std::wstring_view(L"\\xpdfrc")); })) {
        return MapFound::Unusable;
    }
    HeapText xpdfrc;
    bool missing = false;
    if (!ReadSmallFile(config.Data(), xpdfrc, missing)) {
        return missing ? MapFound::None : MapFound::Unusable;
    }
    const std::string_view named = ConfigMapFileOf(std::string_view(xpdfrc.Data(), xpdfrc.Size() - 1), "KOI8-R");
    if (named.empty()) {
        return MapFound::None;
    }
    // The converter opens the named file as it is; a relative name would be read from
    // whatever its current folder is.
    if (named.size() < 3 || !((named[1] == ':' && named[2] == '\\') || (named[0] == '\\' && named[1] == '\\')) ||
        !WidenAnsi(named, path)) {
        return MapFound::Unusable;
    }
    const MapFound found = ReadMapFile(path.Data(), map);
    return found == MapFound::None ? MapFound::Unusable : found; // named but not there: the converter fails
}

bool TemporaryFolderForm(WideHeapText& form) noexcept
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    return length > 0 && length <= MAX_PATH && ConverterFormOf(folder, form);
}
