#include "EntryText.h"

#include "BoxFreeCall.h"
#include "CodePage.h"
#include "CommandLine.h"
#include "ConverterPaths.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdint>

namespace {

// The texts are read and the entry written in pieces of this size, and the code page's
// answers are remembered per character: 448 KiB in all, well under 1 MiB.
constexpr DWORD PieceSize = 64 * 1024;
constexpr std::size_t OutputSize = PieceSize;
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

// A file written a byte at a time through a fixed buffer.
class BufferedWriter {
public:
    BufferedWriter(HANDLE file, char* buffer, std::size_t size) noexcept : file_(file), buffer_(buffer), size_(size) {}

    bool Put(unsigned char byte) noexcept
    {
        if (used_ == size_ && !Flush()) {
            return false;
        }
        buffer_[used_++] = static_cast<char>(byte);
        return true;
    }
    bool Put(const char* bytes, std::size_t size) noexcept { return Flush() && WriteAll(file_, bytes, size); }
    bool Flush() noexcept
    {
        const bool written = WriteAll(file_, buffer_, used_);
        used_ = 0;
        return written;
    }

private:
    HANDLE file_;
    char* buffer_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// A file read through a fixed buffer, a piece or a byte at a time.
class PieceReader {
public:
    PieceReader(HANDLE file, char* buffer) noexcept : file_(file), buffer_(buffer) {}

    // False at the file's end, and when it cannot be read (Failed tells).
    bool NextPiece() noexcept
    {
        at_ = 0;
        held_ = 0;
        failed_ = !file_ || !BoxFreeCall([&] { return ::ReadFile(file_, buffer_, PieceSize, &held_, nullptr); }).value;
        return !failed_ && held_ > 0;
    }
    bool Next(unsigned char& byte) noexcept
    {
        if (at_ == held_ && !NextPiece()) {
            return false;
        }
        byte = static_cast<unsigned char>(buffer_[at_++]);
        return true;
    }
    const unsigned char* Piece() const noexcept { return reinterpret_cast<const unsigned char*>(buffer_); }
    DWORD Size() const noexcept { return held_; }
    bool Failed() const noexcept { return failed_; }

private:
    HANDLE file_;
    char* buffer_;
    DWORD at_ = 0;
    DWORD held_ = 0;
    bool failed_ = false;
};

// Writes the run's bytes up to and with the next that is neither space nor line end, which
// must be `expected`.
bool TakeFromRun(unsigned char expected, PieceReader& run, BufferedWriter& out, bool& stored) noexcept
{
    unsigned char byte = 0;
    do {
        if (!run.Next(byte)) {
            return false;
        }
        stored = stored && out.Put(byte);
    } while (IsLayoutSpace(byte));
    return byte == expected;
}

// A small file whole; `missing` tells a file that is not there from one that cannot be read.
} // namespace

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

namespace {

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

EntryWrite WriteEntryFromText(const wchar_t* text, const wchar_t* target, const EntryEncoding& encoding,
                              const PageRun* pages, UnderivedPages& underived, const WriteWatch& watch) noexcept
{
    underived = UnderivedPages();
    const UniqueHandle<> input = OpenForReading(text);
    const UniqueHandle<> runFile = pages ? OpenForReading(pages->path) : UniqueHandle<>();
    if (!input || (pages && !runFile)) {
        return EntryWrite::NotDerived;
    }
    Encoder encoder(encoding);
    HeapText piece(PieceSize);
    HeapText output(OutputSize);
    HeapText runPiece(pages ? PieceSize : 0);
    if (!encoder.Ready() || piece.Size() == 0 || output.Size() == 0 || (pages && runPiece.Size() == 0)) {
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
    BufferedWriter out(file.Get(), output.Data(), OutputSize);
    PieceReader in(input.Get(), piece.Data());
    PieceReader run(runFile.Get(), runPiece.Data());
    Utf8Reader reader;
    bool derived = true;
    bool stored = true;
    bool writing = true;
    while (derived && stored && in.NextPiece()) {
        // The host's hand on the wheel, as during a run: no converter runs for a kept text.
        if (watch.keepGoing && !watch.keepGoing(watch.context)) {
            return EntryWrite::Stopped;
        }
        if (encoding.kind == EntryEncoding::Utf8) {
            stored = out.Put(reinterpret_cast<const char*>(in.Piece()), in.Size());
            continue;
        }
        derived = reader.Read(in.Piece(), in.Size(), [&](std::uint32_t c) {
            unsigned char bytes[4];
            const int count = encoder.Encode(c, bytes);
            const unsigned long on = underived.Page();
            underived.Take(c, count);
            if (!derived) {
                return;
            }
            if (pages && on >= pages->first && on <= pages->last) {
                // The run's text of the page in place of this one, checked against it.
                for (int i = 0; i < count && derived; ++i) {
                    derived = IsLayoutSpace(bytes[i]) || TakeFromRun(bytes[i], run, out, stored);
                }
                unsigned char more = 0;
                derived = derived && !(c == '\f' && on == pages->last && run.Next(more));
                return;
            }
            writing = writing && underived.Last() != on; // from here on, only the pages are sought
            for (int i = 0; i < count && writing; ++i) {
                stored = stored && out.Put(bytes[i]);
            }
        }) && derived;
    }
    // A write that failed stopped the reading: it says so, whatever was left unread.
    if (in.Failed() || !derived) {
        return EntryWrite::NotDerived;
    }
    if (!stored) {
        return EntryWrite::NotWritten;
    }
    if (!reader.Finished() || (pages && underived.Page() <= pages->last)) {
        return EntryWrite::NotDerived;
    }
    if (!writing) {
        return EntryWrite::PagesNotDerived;
    }
    if (!out.Flush()) {
        return EntryWrite::NotWritten;
    }
    file.Reset();
    return written.MoveTo(target) ? EntryWrite::Written : EntryWrite::NotWritten;
}

MapFound ReadConverterMap(const ConverterFacts& facts, std::wstring_view converter, std::string_view encoding,
                          UnicodeMap& map) noexcept
{
    WideHeapText path;
    WideHeapText name;
    if (!WidenAnsi(encoding, name)) {
        return MapFound::Unusable;
    }
    if (facts.family == ConverterFamily::DataFolderMaps) {
        const std::wstring_view folder = facts.dataFolder.Text();
        if (folder.empty() || !path.Build([&](WideTextBuilder& out) {
                out.Append(folder).Append(std::wstring_view(L"\\unicodeMap\\")).Append(name.Text());
            })) {
            return MapFound::Unusable;
        }
        return ReadMapFile(path.Data(), map);
    }
    WideHeapText config;
    if (facts.family != ConverterFamily::ConfigFileMaps ||
        !config.Build([&](WideTextBuilder& out) { out.Append(FolderOf(converter)).Append(std::wstring_view(L"\\xpdfrc")); })) {
        return MapFound::Unusable;
    }
    HeapText xpdfrc;
    bool missing = false;
    if (!ReadSmallFile(config.Data(), xpdfrc, missing)) {
        return missing ? MapFound::None : MapFound::Unusable;
    }
    const std::string_view named = ConfigMapFileOf(std::string_view(xpdfrc.Data(), xpdfrc.Size() - 1), encoding);
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

void* HoldWholeText(const wchar_t* path) noexcept
{
    UniqueHandle<> file(BoxFreeCall([path] {
        return ::CreateFileW(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }).value);
    LARGE_INTEGER last = {};
    last.QuadPart = -1;
    char end = 0;
    DWORD read = 0;
    if (!file || !::SetFilePointerEx(file.Get(), last, nullptr, FILE_END) ||
        !::ReadFile(file.Get(), &end, 1, &read, nullptr) || read != 1 || end != '\f') {
        return nullptr; // the close removes it
    }
    return file.Release();
}

void ReleaseHeldText(void* handle) noexcept
{
    if (handle) {
        ::CloseHandle(handle);
    }
}

bool TemporaryFolderForm(WideHeapText& form) noexcept
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    return length > 0 && length <= MAX_PATH && ConverterFormOf(folder, form);
}
