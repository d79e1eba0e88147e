// Small positive file numbers from one module-wide counter, and the list of the module's
// open files registered under them. Two spin locks: one serializes draws and
// registrations, the other every search or change of the list.
#pragma once

constexpr int FirstFileNumber = 1;
constexpr int LastFileNumber = 32767;

// Advances the counter (wrapping to 1 after 32767) past every number held by an open file.
int DrawFileNumber() noexcept;

// A registration in the list of open files. It lives with the file's owner, so registering
// never allocates, and it leaves the list when the owner goes.
class FileRegistration {
public:
    FileRegistration() noexcept;
    ~FileRegistration();
    FileRegistration(const FileRegistration&) = delete;
    FileRegistration& operator=(const FileRegistration&) = delete;

    int Number() const noexcept { return number_; }

private:
    int number_;
    FileRegistration* next_ = nullptr;

    friend bool IsFileNumberRegistered(int number) noexcept;
};

bool IsFileNumberRegistered(int number) noexcept;
