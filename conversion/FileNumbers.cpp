#include "FileNumbers.h"

#include <atomic>
#include <thread>

namespace {

class SpinLock {
public:
    void Lock() noexcept
    {
        while (flag_.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void Unlock() noexcept { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

class SpinHold {
public:
    explicit SpinHold(SpinLock& lock) noexcept : lock_(lock) { lock_.Lock(); }
    ~SpinHold() { lock_.Unlock(); }
    SpinHold(const SpinHold&) = delete;
    SpinHold& operator=(const SpinHold&) = delete;

private:
    SpinLock& lock_;
};

SpinLock CounterLock;
SpinLock ListLock;
int Counter = 0;
FileRegistration* OpenFiles = nullptr;

int DrawUnderCounterLock() noexcept
{
    // The list can never hold every number, so the loop ends.
    do {
        Counter = Counter >= LastFileNumber ? FirstFileNumber : Counter + 1;
    } while (IsFileNumberRegistered(Counter));
    return Counter;
}

} // namespace

int DrawFileNumber() noexcept
{
    SpinHold counter(CounterLock);
    return DrawUnderCounterLock();
}

bool IsFileNumberRegistered(int number) noexcept
{
    SpinHold list(ListLock);
    for (const FileRegistration* file = OpenFiles; file; file = file->next_) {
        if (file->number_ == number) {
            return true;
        }
    }
    return false;
}

FileRegistration::FileRegistration() noexcept
{
    SpinHold counter(CounterLock);
    number_ = DrawUnderCounterLock();
    SpinHold list(ListLock);
    next_ = OpenFiles;
    OpenFiles = this;
}

FileRegistration::~FileRegistration()
{
    SpinHold list(ListLock);
    for (FileRegistration** link = &OpenFiles; *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
}
