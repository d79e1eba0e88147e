#include "FileNumbers.h"

#include <atomic>

namespace {

class SpinLock {
public:
    void Lock() noexcept
    {
        while (flag_.test_and_set(std::memory_order_acquire)) {
            YieldToOtherThreads();
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
FileNumberEntry* HeldNumbers = nullptr;

int DrawUnderCounterLock() noexcept
{
    // The list never holds every number (a few archives and one file at most), so the
    // loop ends.
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
    for (const FileNumberEntry* entry = HeldNumbers; entry; entry = entry->next) {
        if (entry->number == number) {
            return true;
        }
    }
    return false;
}

int RegisterFileNumber(FileNumberEntry& entry) noexcept
{
    SpinHold counter(CounterLock);
    entry.number = DrawUnderCounterLock();
    SpinHold list(ListLock);
    entry.next = HeldNumbers;
    HeldNumbers = &entry;
    return entry.number;
}

void UnregisterFileNumber(FileNumberEntry& entry) noexcept
{
    SpinHold list(ListLock);
    for (FileNumberEntry** link = &HeldNumbers; *link; link = &(*link)->next) {
        if (*link == &entry) {
            *link = entry.next;
            break;
        }
    }
    entry.number = 0;
    entry.next = nullptr;
}
