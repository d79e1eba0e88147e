#include "ModuleState.h"

#include <windows.h>

namespace {

// Constant-initialized: the library runs no constructors, and these are usable from the
// first notification on.
SRWLOCK SettingsLock = SRWLOCK_INIT;
ConverterSettings Settings;

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveTable Archives;

// The facts of the converter last asked about, under a lock of their own: held to copy them.
enum class Question { NotAsked, BeingAsked, Answered };
SRWLOCK FactsLock = SRWLOCK_INIT;
WideFixedText<2 * PathBufferSize> AskedConverter;
Question FactsState = Question::NotAsked;
ConverterFacts Facts;

class ExclusiveHold {
public:
    explicit ExclusiveHold(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveHold() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

void CopyConverterSettings(ConverterSettings& copy) noexcept
{
    ExclusiveHold hold(SettingsLock);
    copy = Settings;
}

void ReplaceConverterSettings(const ConverterSettings& settings) noexcept
{
    ExclusiveHold hold(SettingsLock);
    Settings = settings;
}

ArchiveTableHold::ArchiveTableHold() noexcept
{
    ::AcquireSRWLockExclusive(&ArchiveLock);
}

ArchiveTableHold::~ArchiveTableHold()
{
    ::ReleaseSRWLockExclusive(&ArchiveLock);
}

ArchiveTable& ArchiveTableHold::Table() noexcept
{
    return Archives;
}

bool TakeConverterQuestion(std::wstring_view converter, ConverterFacts& facts) noexcept
{
    ExclusiveHold hold(FactsLock);
    const bool same = AskedConverter.Text() == converter;
    if (same && FactsState == Question::Answered) {
        facts = Facts;
        return false;
    }
    facts = ConverterFacts();
    if (same && FactsState == Question::BeingAsked) {
        return false;
    }
    // Another converter may be of another family and read another folder.
    if (!AskedConverter.Assign(converter)) {
        return false; // too long to be told apart: asked about by no one
    }
    FactsState = Question::BeingAsked;
    return true;
}

void KeepConverterFacts(std::wstring_view converter, const ConverterFacts& facts) noexcept
{
    ExclusiveHold hold(FactsLock);
    if (AskedConverter.Text() == converter && FactsState == Question::BeingAsked) {
        Facts = facts;
        FactsState = Question::Answered;
    }
}

void ReturnConverterQuestion(std::wstring_view converter) noexcept
{
    ExclusiveHold hold(FactsLock);
    if (AskedConverter.Text() == converter && FactsState == Question::BeingAsked) {
        FactsState = Question::NotAsked;
    }
}

// Nothing runs constructors in this library: its state must be constant-initialized.
static_assert((ConverterSettings{}, true));
static_assert((ArchiveTable{}, true));
static_assert((ConverterFacts{}, true));
