// Small positive file numbers from one module-wide counter, and the list of numbers held
// by the module's open files and archives. Two spin locks: one serializes draws and
// registrations, the other every search or change of the list.
#pragma once

constexpr int FirstFileNumber = 1;
constexpr int LastFileNumber = 32767;

// Advances the counter (wrapping to 1 after 32767) past every number held in the list.
int DrawFileNumber() noexcept;

// A place in the list of held numbers. It lives with its holder, so registering never
// allocates; a holder registers it at most once at a time.
struct FileNumberEntry {
    int number = 0; // 0 while not registered
    FileNumberEntry* next = nullptr;
};

// Draws a number and holds it in `entry` until UnregisterFileNumber; answers the number.
int RegisterFileNumber(FileNumberEntry& entry) noexcept;
void UnregisterFileNumber(FileNumberEntry& entry) noexcept;
bool IsFileNumberRegistered(int number) noexcept;

// A number held for one open file, for the owner's lifetime.
class FileRegistration {
public:
    FileRegistration() noexcept { RegisterFileNumber(entry_); }
    ~FileRegistration() { UnregisterFileNumber(entry_); }
    FileRegistration(const FileRegistration&) = delete;
    FileRegistration& operator=(const FileRegistration&) = delete;

    int Number() const noexcept { return entry_.number; }

private:
    FileNumberEntry entry_;
};

// Lets another thread run while a spin lock is taken; the platform's own call.
void YieldToOtherThreads() noexcept;
