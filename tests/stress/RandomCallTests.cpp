// Thousands of seeded random calls of the seven entry points, in random order, with random
// records, random and very long texts, null pointers, modes and operation codes. After
// every call the answer and every byte the host owns are checked against a model of what
// the host may expect.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "StressSupport.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

namespace {

constexpr int CallCount = 12000;
constexpr std::size_t LongestCommandLine = 32766; // CreateProcessA's limit, without the NUL
constexpr int EntryCount = 4;
constexpr const char* Suffixes[EntryCount] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};

std::atomic<int> CallbackCalls{0};

int PAPERLENS_CALL CountingCallback(char*, int)
{
    ++CallbackCalls;
    return 0;
}

bool HoldsQuote(const std::string& text)
{
    return text.find('"') != std::string::npos;
}

// The last component of the path, cut at its last dot.
std::string BaseNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
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
        if (kind < 10) {
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

    ArchiveHandle Handle()
    {
        const int kind = Below(4);
        const std::uintptr_t values[] = {0, static_cast<std::uintptr_t>(ListingHandle), 1,
                                         static_cast<std::uintptr_t>(Bits())};
        return reinterpret_cast<ArchiveHandle>(values[kind]);
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

// What the library holds, as far as the host can tell.
struct Model {
    std::string path;
    std::string baseName;
    bool timeKnown = true;
    std::uint32_t time = 0;
    int index = 0;
    ArchiveHandle lastExtractionHandle = nullptr;
};

struct Document {
    std::string path;
    std::uint32_t time = 0;
};

class RandomCalls : public testing::Test {
protected:
    void SetUp() override
    {
        library_ = install_.Load();
        ASSERT_NE(nullptr, library_);
        const std::string folder = install_.Folder();
        const std::string names[] = {"report.pdf", "report.final.pdf", "README", ".pdf", "notes_k.pdf",
                                     std::string(200, 'n') + ".pdf"};
        int day = 1;
        for (const std::string& name : names) {
            Document document{folder + "\\" + name, 0};
            WriteFileWithTime(document.path, 2016, 5, day, 8, 30, 14);
            // The time is read only for paths that fit the library's 256-byte buffer.
            document.time = document.path.size() < 256 ? ExpectedDosTime(2016, 5, day, 8, 30, 14) : UnreadDosTime;
            documents_.push_back(document);
            ++day;
        }
    }

    void TearDown() override { library_.reset(); }

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

    // The time the host should see for a path, when the test can tell.
    void ExpectTimeOf(const std::string& path, Model& model) const
    {
        for (const Document& document : documents_) {
            if (document.path == path) {
                model.timeKnown = true;
                model.time = document.time;
                return;
            }
        }
        const bool missing = path.find_first_of("*?") != std::string::npos ||
                             ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        model.timeKnown = missing;
        model.time = UnreadDosTime;
    }

    std::string PathForOpen(Generator& random) const
    {
        const int kind = random.Below(100);
        if (kind < 40) {
            return documents_[static_cast<std::size_t>(random.Below(static_cast<int>(documents_.size())))].path;
        }
        if (kind < 48) {
            return random.Chance(50) ? install_.Folder() : install_.Folder() + "\\";
        }
        if (kind < 70) {
            return install_.Folder() + "\\" + random.Text();
        }
        return random.Text();
    }

    void CallOpenArchive(Generator& random, Model& model);
    void CallReadHeader(Generator& random, Model& model);
    void CallProcessFile(Generator& random, Model& model);

    PluginInstall install_{"[Converters]\r\nPDF=conv.exe\r\n"};
    std::string log_ = install_.Folder() + "\\record.log";
    ScopedVariable recording_{"RECCONV_LOG", log_};
    std::unique_ptr<PluginLibrary> library_;
    std::vector<Document> documents_;
    std::size_t logRead_ = 0;
    int launches_ = 0;
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
    std::string path = nullName ? std::string() : PathForOpen(random);
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
    if (mode == ModeList) {
        EXPECT_EQ(ListingHandle, value) << call_;
    } else if (mode == ModeExtract) {
        EXPECT_TRUE(value >= 1 && value <= 32767) << call_ << ": handle " << value;
        EXPECT_NE(model.lastExtractionHandle, handle) << call_ << ": the same number twice in a row";
        model.lastExtractionHandle = handle;
    } else {
        EXPECT_EQ(0, value) << call_;
        EXPECT_EQ(ResultNotSupported, record.request.RequestResult) << call_;
    }
    model.path = path;
    model.baseName = BaseNameOf(path);
    ExpectTimeOf(path, model);
    if (mode == ModeList || mode == ModeExtract) {
        model.index = 0;
    }
}

void RandomCalls::CallReadHeader(Generator& random, Model& model)
{
    const ArchiveHandle handle = random.Handle();
    if (random.Chance(4)) {
        call_ = "ReadHeader(null record)";
        EXPECT_EQ(ResultNoMoreEntries, library_->ReadHeader(handle, nullptr)) << call_;
        return;
    }
    HostHeaderRecord record;
    random.FillRecord(&record, sizeof record);
    const HostHeaderRecord before = record;
    call_ = "ReadHeader(entry " + std::to_string(model.index) + " of " + Describe(model.path.c_str()) + ")";

    const int result = library_->ReadHeader(handle, &record.header);

    const bool listed = model.index < EntryCount;
    EXPECT_EQ(listed ? ResultSuccess : ResultNoMoreEntries, result) << call_;
    EXPECT_EQ("", HeaderRecordChanges(before, record, result == ResultSuccess)) << call_;
    if (listed && result == ResultSuccess) {
        const std::string expected =
            (model.baseName + Suffixes[model.index]).substr(0, EntryNameSize - 1);
        EXPECT_EQ(expected, std::string(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize)))
            << call_;
    }
    EXPECT_EQ(1, record.header.PackedSize) << call_;
    EXPECT_EQ(1, record.header.UnpackedSize) << call_;
    if (model.timeKnown) {
        EXPECT_EQ(model.time, record.header.EntryTime) << call_ << ": " << FormatDosTime(record.header.EntryTime);
    } else {
        // Not predicted, but it must stay the same for every entry of this open.
        model.timeKnown = true;
        model.time = record.header.EntryTime;
    }
    if (model.index <= EntryCount) {
        ++model.index;
    }
}

void RandomCalls::CallProcessFile(Generator& random, Model& model)
{
    const ArchiveHandle handle = random.Handle();
    const int operation = random.Operation();
    const bool nullDirectory = random.Chance(15);
    const bool nullName = random.Chance(10);
    std::string directory = nullDirectory ? std::string() : (random.Chance(40) ? install_.Folder() : random.Text());
    std::string name = nullName ? std::string() : random.Text();
    if (!nullName && random.Chance(40)) {
        name += Suffixes[random.Below(EntryCount)];
    }
    const std::string directoryBefore = directory;
    const std::string nameBefore = name;
    char* directoryArgument = nullDirectory ? nullptr : directory.data();
    char* nameArgument = nullName ? nullptr : name.data();
    call_ = "ProcessFile(operation " + std::to_string(operation) + ", " + Describe(directoryArgument) + ", " +
            Describe(nameArgument) + ") of " + Describe(model.path.c_str());

    const int result = library_->ProcessFile(handle, operation, directoryArgument, nameArgument);

    EXPECT_EQ(directoryBefore, directory) << call_ << ": the host's directory text changed";
    EXPECT_EQ(nameBefore, name) << call_ << ": the host's name text changed";
    const std::vector<ConverterRecord> records = NewRecords();
    if (operation != OperationExtract) {
        EXPECT_EQ(ResultSuccess, result) << call_;
        EXPECT_TRUE(records.empty()) << call_ << ": a converter ran for another operation";
        return;
    }
    const std::string target = directory.empty() ? name : directory + "\\" + name;
    // The line as the converter needs it: every path quoted, closing backslashes doubled.
    const auto closingBackslashes = [](const std::string& text) {
        const std::size_t last = text.find_last_not_of('\\');
        return last == std::string::npos ? text.size() : text.size() - 1 - last;
    };
    const std::size_t lineLength = Quoted(install_.Converter()).size() + OptionForTarget(target).size() +
                                   std::strlen(" -layout ") + Quoted(model.path).size() +
                                   closingBackslashes(model.path) + 1 + Quoted(target).size() +
                                   closingBackslashes(target);
    const bool refused = HoldsQuote(model.path) || HoldsQuote(target) || lineLength > LongestCommandLine;
    if (refused) {
        EXPECT_EQ(ResultCannotCreateOutput, result) << call_;
        EXPECT_TRUE(records.empty()) << call_ << ": a refused command line ran";
        return;
    }
    ++launches_;
    EXPECT_EQ(ResultSuccess, result) << call_;
    ASSERT_EQ(1u, records.size()) << call_;
    // What counts is what the converter receives, argument by argument.
    std::vector<std::string> arguments = {install_.Converter()};
    const std::string option = OptionForTarget(target);
    if (!option.empty()) {
        arguments.push_back("-enc");
        arguments.push_back(option.substr(std::strlen(" -enc ")));
    }
    arguments.insert(arguments.end(), {"-layout", model.path, target});
    EXPECT_EQ(arguments, records[0].arguments) << call_ << ": " << records[0].commandLine;
    EXPECT_EQ(lineLength, records[0].commandLine.size()) << call_;
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
            ++calls[0];
            CallOpenArchive(random, model);
        } else if (pick < 62) {
            ++calls[1];
            CallReadHeader(random, model);
        } else if (pick < 76) {
            ++calls[2];
            CallProcessFile(random, model);
        } else if (pick < 84) {
            ++calls[3];
            EXPECT_EQ(ResultSuccess, library_->CloseArchive(random.Handle()));
        } else if (pick < 92) {
            ++calls[pick < 88 ? 4 : 5];
            const std::uintptr_t garbage = static_cast<std::uintptr_t>(random.Bits()) | 1u;
            const HostCallback callbacks[] = {nullptr, CountingCallback, reinterpret_cast<HostCallback>(garbage)};
            const HostCallback callback = callbacks[random.Below(3)];
            if (pick < 88) {
                library_->SetChangeVolProc(random.Handle(), callback);
            } else {
                library_->SetProcessDataProc(random.Handle(), callback);
            }
        } else {
            ++calls[6];
            EXPECT_EQ(PackerCapabilities, library_->GetPackerCaps());
        }
    }
    EXPECT_EQ(0, CallbackCalls.load()) << "the library called a host callback";
    std::printf("calls: OpenArchive %d, ReadHeader %d, ProcessFile %d (%d converter runs), CloseArchive %d, "
                "SetChangeVolProc %d, SetProcessDataProc %d, GetPackerCaps %d\n",
                calls[0], calls[1], calls[2], launches_, calls[3], calls[4], calls[5], calls[6]);
    EXPECT_GT(launches_, 10) << "too few extractions ran for the run to mean much";

    // And after all that, an ordinary listing is still what it always was.
    const Listing listing = ListDocument(*library_, documents_[0].path);
    ASSERT_EQ(5u, listing.entries.size());
    EXPECT_EQ("report_a.txt", listing.entries[0].name);
    EXPECT_EQ(ResultNoMoreEntries, listing.entries[4].result);
}

} // namespace
