// Thousands of seeded random calls of the seven entry points, in random order, with random
// records, random and very long texts, null pointers, modes and operation codes. After
// every call the answer and every byte the host owns are checked against a model of what
// the host may expect: the archives open under each handle, the least recently used one
// dropped when a 65th opens, and what each converter run reports.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "StressSupport.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <vector>

namespace {

constexpr int CallCount = 12000;
constexpr std::size_t LongestCommandLine = 32766; // CreateProcessA's limit, without the NUL
constexpr int EntryCount = 4;
constexpr std::size_t ArchiveBound = 64;
constexpr std::size_t PathLimit = 256; // a document path this long or longer is refused
constexpr const char* Suffixes[EntryCount] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};

std::atomic<int> CallbackCalls{0};

// Counts its calls, and answers "go on".
int PAPERLENS_CALL CountingCallback(char*, int)
{
    ++CallbackCalls;
    return 1;
}

bool HoldsQuote(const std::string& text)
{
    return text.find('"') != std::string::npos;
}

// The last component of the path (after either slash, or a drive's colon), cut at its last dot.
std::string BaseNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    std::string name = slash != std::string::npos ? path.substr(slash + 1)
                       : path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))
                           ? path.substr(2)
                           : path;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

// A short printable picture of a text, for failure messages.
std::string Describe(const char* text)
{
    if (!text) {
        return "null";
    }
    const std::size_t length = std::strlen(text);
    std::ostringstream out;
    out << "<" << length << " bytes: \"";
    for (std::size_t i = 0; i < length && i < 48; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out << text[i];
        } else {
            out << "\\x" << std::hex << static_cast<unsigned>(c) << std::dec;
        }
    }
    out << (length > 48 ? "...\">" : "\">");
    return out.str();
}

class Generator {
public:
    explicit Generator(std::uint64_t seed) : engine_(seed) {}

    int Below(int bound) { return static_cast<int>(engine_() % static_cast<std::uint64_t>(bound)); }
    bool Chance(int percent) { return Below(100) < percent; }
    std::uint64_t Bits() { return engine_(); }

    // Lengths from empty to well past what a command line holds.
    std::string Text()
    {
        const int kind = Below(100);
        std::size_t length = 0;
        if (kind < 25) {
            length = static_cast<std::size_t>(Below(9));
        } else if (kind < 62) {
            length = 9 + static_cast<std::size_t>(Below(72));
        } else if (kind < 84) {
            length = 81 + static_cast<std::size_t>(Below(220));
        } else if (kind < 93) {
            length = 301 + static_cast<std::size_t>(Below(4000));
        } else if (kind < 98) {
            length = 30000 + static_cast<std::size_t>(Below(4000));
        } else {
            length = 60000 + static_cast<std::size_t>(Below(10000));
        }
        // Quotes and wildcards only in some texts: one of them makes a whole command
        // line refused, and the runs that go through matter as much.
        const bool special = Chance(15);
        // Some texts without backslashes or dots, so that long last components occur.
        const bool plain = Chance(30);
        std::string text(length, 'x');
        for (char& c : text) {
            do {
                c = Character(special);
            } while (plain && (c == '\\' || c == '.'));
        }
        return text;
    }

    // Never NUL: the host's texts are NUL-terminated.
    char Character(bool special)
    {
        const int kind = Below(100);
        if (kind < 35) {
            return static_cast<char>('a' + Below(26));
        }
        if (kind < 45) {
            return '\\';
        }
        if (kind < 55) {
            return '.';
        }
        if (kind < 60) {
            if (!special || Below(10) != 0) {
                return '-';
            }
            const char specials[] = {'"', '*', '?'};
            return specials[Below(3)];
        }
        if (kind < 65) {
            return ' ';
        }
        if (kind < 67) {
            return '_';
        }
        if (kind < 77) {
            return static_cast<char>(0x80 + Below(0x80));
        }
        if (kind < 80) {
            return static_cast<char>(1 + Below(0x1F));
        }
        return static_cast<char>(0x21 + Below(0x5E));
    }

    std::int32_t Mode()
    {
        const int kind = Below(100);
        if (kind < 40) {
            return ModeList;
        }
        if (kind < 80) {
            return ModeExtract;
        }
        const std::int32_t others[] = {2, 3, -1, INT_MIN, INT_MAX, 256};
        return kind < 92 ? others[Below(6)] : static_cast<std::int32_t>(Bits());
    }

    int Operation()
    {
        const int kind = Below(100);
        if (kind < 25) {
            return OperationExtract;
        }
        if (kind < 40) {
            return OperationSkip;
        }
        if (kind < 70) {
            return OperationTest;
        }
        const int others[] = {3, -1, INT_MIN, INT_MAX, 0x102};
        return kind < 85 ? others[Below(5)] : static_cast<int>(Bits());
    }

    // Exit codes the converter family documents, and others.
    const char* ExitCode()
    {
        const char* codes[] = {"0", "0", "0", "1", "2", "3", "7", "-1"};
        return codes[Below(8)];
    }

    // Random bytes, NULs among them, or the host's usual pattern.
    void FillRecord(void* record, std::size_t size)
    {
        if (Chance(30)) {
            FillWithPattern(record, size, static_cast<unsigned>(Bits()));
            return;
        }
        auto* bytes = static_cast<unsigned char*>(record);
        const bool sparseNuls = Chance(50);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = sparseNuls && Below(16) == 0 ? 0 : static_cast<unsigned char>(Bits());
        }
    }

private:
    std::mt19937_64 engine_;
};

struct Document {
    std::string path;
    std::string name; // its last component
    std::uint32_t time = 0;
};

// One open archive, as far as the host can tell.
struct Archive {
    std::string path;
    std::string baseName;
    const Document* document = nullptr; // when the test knows which one it is
    bool timeKnown = true;
    std::uint32_t time = 0;
    int index = 0;
    std::uint64_t lastUse = 0;
    bool progress = false; // a progress callback was given for it
};

// What the library holds: the archives open under their handles.
struct Model {
    std::map<std::intptr_t, Archive> open;
    std::vector<std::intptr_t> gone; // closed or dropped
    std::set<std::intptr_t> given; // every handle answered so far
    std::uint64_t clock = 0;
    int drops = 0;

    // The archive under the handle, marked as used; null when none is open under it.
    Archive* Use(ArchiveHandle handle)
    {
        const auto found = open.find(reinterpret_cast<std::intptr_t>(handle));
        if (found == open.end()) {
            return nullptr;
        }
        found->second.lastUse = ++clock;
        return &found->second;
    }
};

class RandomCalls : public testing::Test {
protected:
    void SetUp() override
    {
        library_ = install_.Load();
        ASSERT_NE(nullptr, library_);
        const std::string folder = install_.Folder();
        // The last two: the longest path that opens, and one character more.
        const std::size_t longest = PathLimit - 1 - folder.size() - 1 - 4;
        const std::string names[] = {"report.pdf", "report.final.pdf", "README", ".pdf", "notes_k.pdf",
                                     std::string(longest, 'n') + ".pdf", std::string(longest + 1, 'n') + ".pdf"};
        int day = 1;
        for (const std::string& name : names) {
            Document document{folder + "\\" + name, name, ExpectedDosTime(2016, 5, day, 8, 30, 14)};
            WriteFileWithTime(document.path, 2016, 5, day, 8, 30, 14);
            documents_.push_back(document);
            ++day;
        }
        // So that drive-relative paths (C:report.pdf) and other relative ones land here.
        char previous[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        previousDirectory_ = previous;
        ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str()));
    }

    void TearDown() override
    {
        ::SetCurrentDirectoryA(previousDirectory_.c_str());
        library_.reset();
    }

    // The records appended to the log since the last call.
    std::vector<ConverterRecord> NewRecords()
    {
        const std::string bytes = ReadWholeFile(log_);
        if (bytes.size() < logRead_) {
            ADD_FAILURE() << "the record log shrank";
            return {};
        }
        const std::string fresh = bytes.substr(logRead_);
        logRead_ = bytes.size();
        return ParseConverterRecords(fresh);
    }

    // A path to open, and the document it names when the test made it so.
    std::string PathForOpen(Generator& random, const Document*& document) const
    {
        const int kind = random.Below(100);
        document = &documents_[static_cast<std::size_t>(random.Below(static_cast<int>(documents_.size())))];
        if (kind < 32) {
            return document->path;
        }
        if (kind < 36) {
            std::string path = document->path;
            std::replace(path.begin(), path.end(), '\\', '/');
            return path;
        }
        if (kind < 40) {
            return install_.Folder().substr(0, 2) + document->name;
        }
        document = nullptr;
        if (kind < 48) {
            return random.Chance(50) ? install_.Folder() : install_.Folder() + "\\";
        }
        if (kind < 70) {
            return install_.Folder() + "\\" + random.Text();
        }
        return random.Text();
    }

    // Often one of the open archives, sometimes one closed or dropped, else anything.
    ArchiveHandle PickHandle(Generator& random, const Model& model)
    {
        const int kind = random.Below(100);
        if (kind < 60 && !model.open.empty()) {
            auto chosen = model.open.begin();
            std::advance(chosen, random.Below(static_cast<int>(model.open.size())));
            return reinterpret_cast<ArchiveHandle>(chosen->first);
        }
        if (kind < 75 && !model.gone.empty()) {
            return reinterpret_cast<ArchiveHandle>(model.gone[static_cast<std::size_t>(
                random.Below(static_cast<int>(model.gone.size())))]);
        }
        const std::uintptr_t values[] = {0, 1, 10, 32767, 32768, static_cast<std::uintptr_t>(random.Bits())};
        return reinterpret_cast<ArchiveHandle>(values[random.Below(6)]);
    }

    void CallOpenArchive(Generator& random, Model& model);
    void CallReadHeader(Generator& random, Model& model);
    void CallProcessFile(Generator& random, Model& model);

    PluginInstall install_{"[Converters]\r\nPDF=conv.exe\r\n"};
    std::string log_ = install_.Folder() + "\\record.log";
    ScopedVariable recording_{"RECCONV_LOG", log_};
    std::unique_ptr<PluginLibrary> library_;
    std::vector<Document> documents_;
    std::string previousDirectory_;
    std::size_t logRead_ = 0;
    int launches_ = 0;
    int results_[20] = {}; // of converter runs, by result code
    std::string staleTarget_; // written by an earlier run, for a later one to name again
    std::string call_; // the call under check, for failure messages
};

void RandomCalls::CallOpenArchive(Generator& random, Model& model)
{
    if (random.Chance(4)) {
        call_ = "OpenArchive(null)";
        EXPECT_EQ(nullptr, library_->OpenArchive(nullptr)) << call_;
        return;
    }
    HostOpenRecord record;
    random.FillRecord(&record, sizeof record);
    const bool nullName = random.Chance(6);
    const Document* document = nullptr;
    std::string path = nullName ? std::string() : PathForOpen(random, document);
    const std::string pathBefore = path;
    record.request.ArchiveNamePtr = nullName ? nullptr : path.data();
    record.request.RequestMode = random.Mode();
    const HostOpenRecord before = record;
    call_ = "OpenArchive(mode " + std::to_string(record.request.RequestMode) + ", " +
            Describe(record.request.ArchiveNamePtr) + ")";

    const ArchiveHandle handle = library_->OpenArchive(&record.request);

    EXPECT_EQ(pathBefore, path) << call_ << ": the host's path text changed";
    EXPECT_EQ("", OpenRecordChanges(before, record, handle == nullptr)) << call_;
    const std::int32_t mode = before.request.RequestMode;
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    if (mode != ModeList && mode != ModeExtract) {
        EXPECT_EQ(0, value) << call_;
        EXPECT_EQ(ResultNotSupported, record.request.RequestResult) << call_;
        return;
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool isFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (path.empty() || path.size() >= PathLimit || path.find_first_of("*?") != std::string::npos || !isFile) {
        EXPECT_EQ(0, value) << call_ << ": no document";
        EXPECT_EQ(ResultCannotOpen, record.request.RequestResult) << call_;
        return;
    }
    ASSERT_NE(0, value) << call_;
    EXPECT_TRUE(model.given.insert(value).second) << call_ << ": handle " << value << " given before";
    if (model.open.size() == ArchiveBound) {
        const auto oldest = std::min_element(model.open.begin(), model.open.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        model.gone.push_back(oldest->first);
        model.open.erase(oldest);
        ++model.drops;
    }
    EXPECT_EQ(0u, model.open.count(value)) << call_ << ": handle " << value << " is in use";
    Archive archive;
    archive.path = path;
    archive.baseName = BaseNameOf(path);
    // The time of a file the test did not write is not predicted, but must stay the same
    // for every entry.
    archive.document = document;
    archive.timeKnown = document != nullptr;
    archive.time = document ? document->time : 0;
    archive.lastUse = ++model.clock;
    model.open[value] = archive;
}

void RandomCalls::CallReadHeader(Generator& random, Model& model)
{
    const ArchiveHandle handle = PickHandle(random, model);
    const std::string handleText = std::to_string(reinterpret_cast<std::intptr_t>(handle));
    if (random.Chance(4)) {
        // A call with no record touches no archive, not even as a use.
        call_ = "ReadHeader(" + handleText + ", null record)";
        EXPECT_EQ(ResultNoMoreEntries, library_->ReadHeader(handle, nullptr)) << call_;
        return;
    }
    Archive* archive = model.Use(handle);
    HostHeaderRecord record;
    random.FillRecord(&record, sizeof record);
    const HostHeaderRecord before = record;
    call_ = "ReadHeader(" + handleText + ", entry " + std::to_string(archive ? archive->index : -1) + " of " +
            Describe(archive ? archive->path.c_str() : "no archive") + ")";

    const int result = library_->ReadHeader(handle, &record.header);

    if (!archive) {
        EXPECT_EQ(ResultNoMoreEntries, result) << call_;
        EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record)) << call_ << ": wrote into the record";
        return;
    }
    const bool listed = archive->index < EntryCount;
    EXPECT_EQ(listed ? ResultSuccess : ResultNoMoreEntries, result) << call_;
    EXPECT_EQ("", HeaderRecordChanges(before, record, result == ResultSuccess)) << call_;
    if (listed && result == ResultSuccess) {
        const std::string expected =
            (archive->baseName + Suffixes[archive->index]).substr(0, EntryNameSize - 1);
        EXPECT_EQ(expected, std::string(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize)))
            << call_;
    }
    EXPECT_EQ(1, record.header.PackedSize) << call_;
    EXPECT_EQ(1, record.header.UnpackedSize) << call_;
    if (archive->timeKnown) {
        EXPECT_EQ(archive->time, record.header.EntryTime) << call_ << ": " << FormatDosTime(record.header.EntryTime);
    } else {
        archive->timeKnown = true;
        archive->time = record.header.EntryTime;
    }
    if (archive->index <= EntryCount) {
        ++archive->index;
    }
}

void RandomCalls::CallProcessFile(Generator& random, Model& model)
{
    const ArchiveHandle handle = PickHandle(random, model);
    const int operation = random.Operation();
    Archive* archive = operation == OperationExtract ? model.Use(handle) : nullptr;
    bool nullDirectory = random.Chance(15);
    bool nullName = random.Chance(10);
    std::string directory = nullDirectory ? std::string() : (random.Chance(40) ? install_.Folder() : random.Text());
    std::string name = nullName ? std::string() : random.Text();
    if (!nullName && random.Chance(40)) {
        name += Suffixes[random.Below(EntryCount)];
    }
    // The document itself, however the archive's path spells it.
    const bool itself = archive && archive->document && random.Chance(10);
    if (itself || (!staleTarget_.empty() && random.Chance(10))) {
        nullDirectory = nullName = false;
        directory = install_.Folder();
        name = itself ? archive->document->name : staleTarget_;
    }
    // Written only into the scratch folder: any other target may be relative, or climb out.
    const bool inFolder = directory == install_.Folder() && !name.empty() &&
                          name.find_first_of("\\/:") == std::string::npos && name.find("..") == std::string::npos;
    const bool write = inFolder && random.Chance(60);
    const std::string exitCode = random.ExitCode();
    ScopedVariable writing("RECCONV_WRITE", write ? "1" : "0");
    ScopedVariable exiting("RECCONV_EXIT", exitCode);
    const std::string directoryBefore = directory;
    const std::string nameBefore = name;
    char* directoryArgument = nullDirectory ? nullptr : directory.data();
    char* nameArgument = nullName ? nullptr : name.data();
    call_ = "ProcessFile(" + std::to_string(reinterpret_cast<std::intptr_t>(handle)) + ", operation " +
            std::to_string(operation) + ", " + Describe(directoryArgument) + ", " + Describe(nameArgument) +
            ", exit " + exitCode + (write ? ", writing" : "") + ") of " +
            Describe(archive ? archive->path.c_str() : "no archive");
    const std::string target =
        directory.empty() ? name : directory + (directory.back() == '\\' ? "" : "\\") + name;
    // A file at the target goes before the run; a folder, or a name the system rejects
    // outright, cannot be cleared. Asked of the system for names that hold nothing, in
    // UTF-16 as a host's path reaches it (the UTF-16 calls take longer paths).
    const std::wstring wideTarget = WideFrom(target, CP_ACP);
    const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
    const bool stale = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    bool removable = stale;
    if (attributes == INVALID_FILE_ATTRIBUTES && !::DeleteFileW(wideTarget.c_str())) {
        const DWORD error = ::GetLastError();
        removable = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    const int result = library_->ProcessFile(handle, operation, directoryArgument, nameArgument);

    EXPECT_EQ(directoryBefore, directory) << call_ << ": the host's directory text changed";
    EXPECT_EQ(nameBefore, name) << call_ << ": the host's name text changed";
    const std::vector<ConverterRecord> records = NewRecords();
    const bool heard = CallbackCalls.exchange(0) != 0;
    if (operation != OperationExtract || !archive) {
        EXPECT_FALSE(heard) << call_ << ": a callback was called with no converter run";
        EXPECT_EQ(operation != OperationExtract ? ResultSuccess : ResultCannotOpen, result) << call_;
        EXPECT_TRUE(records.empty()) << call_ << ": a converter ran";
        return;
    }
    // The line as the converter needs it: every path quoted, closing backslashes doubled.
    const auto closingBackslashes = [](const std::string& text) {
        const std::size_t last = text.find_last_not_of('\\');
        return last == std::string::npos ? text.size() : text.size() - 1 - last;
    };
    // The entry last listed on the handle decides the encoding; the target's tag only before any.
    const std::string option =
        OptionForTarget(archive->index > 0 ? Suffixes[std::min(archive->index, EntryCount) - 1] : target);
    const std::size_t lineLength = Quoted(install_.Converter()).size() + option.size() +
                                   std::strlen(" -layout ") + Quoted(archive->path).size() +
                                   closingBackslashes(archive->path) + 1 + Quoted(target).size() +
                                   closingBackslashes(target);
    // A target longer than the converter's file calls take (259 units; the test's code page
    // has one byte a character) reaches it as a stand-in in the temporary folder, moved after.
    const bool standIn = target.size() > 259;
    const bool refused = HoldsQuote(archive->path) || HoldsQuote(target) || target.size() >= 32767 ||
                         (!standIn && lineLength > LongestCommandLine) || itself || !removable;
    if (refused) {
        EXPECT_FALSE(heard) << call_ << ": a callback was called with no converter run";
        EXPECT_EQ(ResultCannotCreateOutput, result) << call_;
        EXPECT_TRUE(records.empty()) << call_ << ": a refused command line ran";
        if (itself) {
            EXPECT_TRUE(FileExists(target)) << call_ << ": the document is gone";
        }
        return;
    }
    ++launches_;
    ASSERT_EQ(1u, records.size()) << call_ << ": answered " << result;
    EXPECT_EQ(archive->progress, heard) << call_ << ": the archive's progress callback, and only it, hears of the run";
    // What counts is what the converter receives, argument by argument.
    std::vector<std::string> arguments = {install_.Converter()};
    if (!option.empty()) {
        arguments.push_back("-enc");
        arguments.push_back(option.substr(std::strlen(" -enc ")));
    }
    arguments.insert(arguments.end(), {"-layout", archive->path, target});
    if (standIn) {
        const std::string given = records[0].arguments.empty() ? "" : records[0].arguments.back();
        EXPECT_NE(std::string::npos, given.find("\\~paperlens-")) << call_ << ": " << records[0].commandLine;
        EXPECT_EQ(".txt", given.substr(given.size() < 4 ? 0 : given.size() - 4)) << call_;
        arguments.back() = given;
    } else {
        EXPECT_EQ(lineLength, records[0].commandLine.size()) << call_;
    }
    EXPECT_EQ(arguments, records[0].arguments) << call_ << ": " << records[0].commandLine;
    // Whatever stood at the target before is gone: only this run's text may be there.
    const bool present = records[0].targetWritten;
    EXPECT_EQ(present, FileExists(target)) << call_ << (stale ? ": a stale target" : "");
    const int code = std::atoi(exitCode.c_str());
    const int expected = code == 0 ? (present ? ResultSuccess : ResultCannotCreateOutput)
                         : code == 1 || code == 3 ? ResultBadArchive
                         : code == 2              ? ResultCannotCreateOutput
                                                  : ResultWriteError;
    EXPECT_EQ(expected, result) << call_;
    ++results_[expected];
    if (present) {
        staleTarget_ = name;
    }
}

TEST_F(RandomCalls, EveryAnswerAndEveryHostByteStayWithinTheContract)
{
    const std::uint64_t seed = StressSeed();
    Generator random(seed);
    Model model;
    CallbackCalls = 0;
    int calls[7] = {};
    for (int call = 0; call < CallCount && !HasFailure(); ++call) {
        const int pick = random.Below(100);
        SCOPED_TRACE("call " + std::to_string(call) + " of the run with seed " + std::to_string(seed));
        if (pick < 22) {
            // Now and then a host that opens one archive after another and closes none.
            for (int burst = random.Chance(1) ? 80 : 1; burst > 0; --burst) {
                ++calls[0];
                CallOpenArchive(random, model);
            }
        } else if (pick < 62) {
            ++calls[1];
            CallReadHeader(random, model);
        } else if (pick < 76) {
            ++calls[2];
            CallProcessFile(random, model);
        } else if (pick < 84) {
            ++calls[3];
            const ArchiveHandle handle = PickHandle(random, model);
            EXPECT_EQ(ResultSuccess, library_->CloseArchive(handle));
            if (model.open.erase(reinterpret_cast<std::intptr_t>(handle)) != 0) {
                model.gone.push_back(reinterpret_cast<std::intptr_t>(handle));
            }
        } else if (pick < 92) {
            ++calls[pick < 88 ? 4 : 5];
            const std::uintptr_t garbage = static_cast<std::uintptr_t>(random.Bits()) | 1u;
            // The volume callback is never called, so any value does; the progress one is kept
            // for its archive and called during its extractions.
            const HostCallback callbacks[] = {nullptr, CountingCallback, reinterpret_cast<HostCallback>(garbage)};
            const ArchiveHandle handle = PickHandle(random, model);
            if (pick < 88) {
                library_->SetChangeVolProc(handle, callbacks[random.Below(3)]);
            } else {
                const HostCallback callback = callbacks[random.Below(2)];
                library_->SetProcessDataProc(handle, callback);
                if (Archive* archive = model.Use(handle)) {
                    archive->progress = callback != nullptr;
                }
            }
        } else {
            ++calls[6];
            EXPECT_EQ(PackerCapabilities, library_->GetPackerCaps());
        }
    }
    std::printf("calls: OpenArchive %d, ReadHeader %d, ProcessFile %d, CloseArchive %d, SetChangeVolProc %d, "
                "SetProcessDataProc %d, GetPackerCaps %d\n",
                calls[0], calls[1], calls[2], calls[3], calls[4], calls[5], calls[6]);
    std::printf("archives dropped for the 65th %d; converter runs %d: result 0 %d, 13 %d, 16 %d, 19 %d\n",
                model.drops, launches_, results_[ResultSuccess], results_[ResultBadArchive],
                results_[ResultCannotCreateOutput], results_[ResultWriteError]);
    EXPECT_GT(launches_, 10) << "too few extractions ran for the run to mean much";
    EXPECT_GT(model.drops, 0) << "the bound of open archives was never reached";

    // And after all that, an ordinary listing is still what it always was.
    const Listing listing = ListDocument(*library_, documents_[0].path);
    ASSERT_EQ(5u, listing.entries.size());
    EXPECT_EQ("report_a.txt", listing.entries[0].name);
    EXPECT_EQ(ResultNoMoreEntries, listing.entries[4].result);
}

} // namespace
