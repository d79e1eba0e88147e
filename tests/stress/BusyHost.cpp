// A host that ends while its threads are busy in the library: some extract through the
// converter, one lists, one starts and ends threads. Used by the threads test to show that
// the host process then ends, and ends cleanly.
//   PaperlensBusyHost LIBRARY DOCUMENT FOLDER MILLISECONDS
// Exit code 3 when every thread made progress before the end, 4 when one did not, 2 on
// bad use; anything else (a crash, a hang) is the library's doing.
#include "PluginHost.h"
#include "ResultCodes.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::atomic<int> Extractions{0};
std::atomic<int> Listings{0};
std::atomic<int> ThreadsStarted{0};

void Extract(const PluginLibrary& library, std::string document, std::string folder, int thread)
{
    for (int n = 0;; ++n) {
        OpenRequest request = {document.data(), ModeExtract, 0};
        const ArchiveHandle handle = library.OpenArchive(&request);
        HostHeaderRecord record;
        library.ReadHeader(handle, &record.header);
        std::string name = "busy-" + std::to_string(thread) + "-" + std::to_string(n) + "_u.txt";
        library.ProcessFile(handle, OperationExtract, folder.data(), name.data());
        library.CloseArchive(handle);
        ++Extractions;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBRARY DOCUMENT FOLDER MILLISECONDS\n", argv[0]);
        return 2;
    }
    std::string error;
    // Never freed: the threads are inside it when the process ends.
    const PluginLibrary* library = PluginLibrary::Load(argv[1], error).release();
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    const std::string document = argv[2];
    const std::string folder = argv[3];
    for (int thread = 0; thread < 2; ++thread) {
        std::thread(Extract, std::cref(*library), document, folder, thread).detach();
    }
    std::thread([library, document] {
        for (;;) {
            ListDocument(*library, document);
            ++Listings;
        }
    }).detach();
    std::thread([] {
        for (;;) {
            std::thread([] {}).join();
            ++ThreadsStarted;
        }
    }).detach();

    ::Sleep(static_cast<DWORD>(std::atoi(argv[4])));
    const bool progressed = Extractions > 0 && Listings > 0 && ThreadsStarted > 0;
    std::printf("extractions %d, listings %d, threads started %d\n", Extractions.load(), Listings.load(),
                ThreadsStarted.load());
    std::fflush(stdout);
    // Ends the process with every thread still running, as a host that quits does.
    return progressed ? 3 : 4;
}
