// Benchmarks of the scan road, each against the platform doing the same work bare. Every
// figure is the median of several repetitions, the two sides interleaved, and the
// result is their ratio: machines are shared, so only side-by-side ratios mean much.
// Each side's minimum and maximum stand beside its median, so that a machine whose load
// comes and goes shows as such.
//
//   1. a 100 MB item through TransferItem, against WriteFile of the same bytes in the
//      same 64 KiB chunks to a file in the same folder;
//   2. DeviceDialog with a companion that ends the scan at once, until the companion has
//      exited, against starting that companion, serving its pipe with a bare pipe server
//      until the scan's end and waiting for its exit;
//   3. the clean-up of 2005 drop-folder entries, against deleting them directly;
//   4. one run of 2,000 small pages into an empty folder: the per-page cost of its last
//      100 pages against its first 100; beside it the same files made by CreateFile alone;
//   5. a run of 2,000 pages into a folder that already holds "Img.BMP" to "Img (2000).BMP",
//      per page, against the same run into an empty folder; beside it the same files
//      made by CreateFile alone in the two folders.
//
//   uiext2_scan_bench.exe [REPETITIONS [names|dialog|cleanup]]: the last argument runs
//   only the naming benchmarks (4 and 5), or only 2, or only 3.
#include "driver_package.h"
#include "dialog_record.h"
#include "fake_scanner.h"
#include "scan/item_transfer.h"
#include "scan/run_environment.h"
#include "scan/scan_names.h"
#include "scan/scan_run.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr ULONG kItemBytes = 100u * 1000u * 1000u;
constexpr ULONG kChunk = 64u * 1024u;
constexpr int kDropEntries = 2005;
constexpr ULONG kRunPages = 2000;
constexpr ULONG kBlockPages = 100;
constexpr ULONG kFullFolderRunPages = 2000;
constexpr int kFilesPresent = 2000;

double Seconds(const std::function<void()>& work)
{
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    work();
    ::QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Pair
{
    std::vector<double> ours, bare;
};

// Runs `prepare` untimed before each side, then times each side, `repetitions` times.
Pair Measure(int repetitions, const std::function<void()>& prepare, const std::function<void()>& ours,
             const std::function<void()>& bare)
{
    Pair times;
    for (int i = 0; i < repetitions; ++i)
    {
        prepare();
        times.ours.push_back(Seconds(ours));
        prepare();
        times.bare.push_back(Seconds(bare));
    }
    return times;
}

// "min/median/max" of one side, in milliseconds.
std::string Spread(const std::vector<double>& values)
{
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof(text), "%.1f/%.1f/%.1f", *least * 1000, Median(values) * 1000, *most * 1000);
    return text;
}

void Print(const char* what, const Pair& times, bool speed)
{
    const double ours = Median(times.ours);
    const double bare = Median(times.bare);
    std::printf("%-44s ours %-24s bare %-24s ms (min/median/max)   %s %.3f\n", what, Spread(times.ours).c_str(),
                Spread(times.bare).c_str(), speed ? "speed ratio (ours/bare)" : "time ratio (ours/bare)",
                speed ? bare / ours : ours / bare);
    std::fflush(stdout);
}

std::string TempFolder(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + name;
    uiext2_test::RemoveFolder(folder);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void TransferBenchmark(int repetitions)
{
    const std::string folder = TempFolder("uiext2 bench transfer");
    fakes::ScannerSetup setup;
    setup.imageCount = 1;
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    std::vector<BYTE>& image = scanner.images[0]->image;
    image.resize(kItemBytes);
    for (ULONG i = 0; i < kItemBytes; ++i)
        image[i] = static_cast<BYTE>(i * 2654435761u >> 24);
    scanner.images[0]->writeChunk = kChunk;

    const auto clear = [&] { uiext2_test::RemoveFolder(folder), ::CreateDirectoryA(folder.c_str(), nullptr); };
    const auto transfer = [&]
    {
        DEVICEDIALOGDATA2 data = {};
        data.bstrFolderName = ::SysAllocString(std::wstring(folder.begin(), folder.end()).c_str());
        data.bstrFilename = ::SysAllocString(L"Item");
        {
            uiext2::ScanRecord record(data);
            if (!record.Reserve(1) || FAILED(uiext2::TransferItem(record, scanner.images[0].Get())))
                std::printf("transfer failed\n");
        }
        fakes::FreeDialogData(data);
    };
    const auto raw = [&]
    {
        HANDLE file = ::CreateFileA((folder + "\\Item.BMP").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        for (ULONG done = 0; done < kItemBytes; done += written)
            if (!::WriteFile(file, image.data() + done, std::min(kChunk, kItemBytes - done), &written, nullptr))
                break;
        ::CloseHandle(file);
    };
    Print("100 MB item: TransferItem / WriteFile", Measure(repetitions, clear, transfer, raw), true);
    uiext2_test::RemoveFolder(folder);
}

void DialogBenchmark(int repetitions)
{
    uiext2_test::InstalledTemplates templates;
    uiext2_test::InstalledCompanion companion;
    const std::string tray = TempFolder("uiext2 bench tray");
    ::SetEnvironmentVariableA("UIEXT2_SCANNER_TRAY", tray.c_str());
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", "connect;send:1134");
    fakes::ScannerSetup setup;
    setup.deviceName = L"Bench Scanner";
    setup.imageCount = 0;
    fakes::Scanner scanner = fakes::MakeScanner(setup);

    // A run ends once the companion has exited; the bare side waits for its process the same way.
    const auto dialog = [&]
    {
        DEVICEDIALOGDATA2 data = {};
        data.pIWiaItemRoot = scanner.root.Get();
        if (uiext2::RunScanDialog(&data) != S_OK)
            std::printf("DeviceDialog failed\n");
        uiext2_test::InstalledCompanion::WaitUntilGone();
    };
    // The run's work on the pipe without the run around it: create, launch, serve every
    // message until the scan's end, disconnect, wait for the companion's exit.
    const auto bare = [&]
    {
        HANDLE pipe =
            ::CreateNamedPipeA(uiext2::kCompanionPipeName, PIPE_ACCESS_DUPLEX, 0, 2, 128, 260, 10000, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        char commandLine[1] = {'\0'};
        const std::string program = uiext2_test::InstalledCompanion::Path();
        if (::CreateProcessA(program.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process))
        {
            bool serving = ::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
            while (serving)
            {
                // At "items ready" a run transfers the waiting pages; this companion has none.
                DWORD message = 0, read = 0;
                serving = ::ReadFile(pipe, &message, sizeof(message), &read, nullptr) && read == sizeof(message) &&
                          message == uiext2::kItemsReady;
            }
            ::DisconnectNamedPipe(pipe);
            ::WaitForSingleObject(process.hProcess, 30000);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
        ::CloseHandle(pipe);
    };
    Print("DeviceDialog / bare launch, pipe and exit",
          Measure(repetitions, uiext2_test::InstalledCompanion::WaitUntilGone, dialog, bare), false);
    uiext2_test::InstalledCompanion::WaitUntilGone();
    uiext2_test::RemoveFolder(tray);
}

void CleanUpBenchmark(int repetitions)
{
    const std::string folder = uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA_COPY";
    std::unique_ptr<uiext2::DeviceFolders> folders;
    std::unique_ptr<uiext2::ImageDropFolder> drop;
    const auto fill = [&]
    {
        folders = std::make_unique<uiext2::DeviceFolders>();
        drop = std::make_unique<uiext2::ImageDropFolder>();
        drop->Create(*folders);
        for (int i = 0; i < kDropEntries; ++i)
        {
            HANDLE file = ::CreateFileA((folder + "\\image." + std::to_string(i)).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, 0, nullptr);
            ::CloseHandle(file);
        }
    };
    const auto ours = [&] { drop->Empty(); };
    // The same platform calls without the extension around them: find, delete, remove.
    const auto direct = [&]
    {
        drop.reset(); // lets go of the folder, so that it can be removed
        folders.reset();
        WIN32_FIND_DATAA entry;
        HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE)
        {
            do
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileA((folder + "\\" + entry.cFileName).c_str());
            while (::FindNextFileA(search, &entry));
            ::FindClose(search);
        }
        ::RemoveDirectoryA(folder.c_str());
    };
    const Pair times = Measure(repetitions, fill, ours, direct);
    uiext2_test::RemoveFolder(folder);
    Print("2005 drop-folder entries: clean-up / direct", times, false);
}

// The application's record of one run into `folder` with base name "Img": every page
// through TransferItem, as the run hands them over, each page's time in `perPage`.
void TransferPages(const std::string& folder, const fakes::Scanner& scanner, ULONG pages, std::vector<double>* perPage)
{
    DEVICEDIALOGDATA2 data = {};
    data.bstrFolderName = ::SysAllocString(std::wstring(folder.begin(), folder.end()).c_str());
    data.bstrFilename = ::SysAllocString(L"Img");
    {
        uiext2::ScanRecord record(data);
        for (ULONG i = 0; i < pages; ++i)
        {
            const double seconds = Seconds(
                [&]
                {
                    if (!record.Reserve(1) || FAILED(uiext2::TransferItem(record, scanner.images[i].Get())))
                        std::printf("page %lu not saved\n", i + 1);
                });
            if (perPage)
                perPage->push_back(seconds);
        }
    }
    fakes::FreeDialogData(data);
}

// The median per-page time of the 100 pages from `first`: a shared machine's bursts touch
// a few pages, not the typical one.
double BlockMedian(const std::vector<double>& values, size_t first)
{
    return Median(std::vector<double>(values.begin() + static_cast<std::ptrdiff_t>(first),
                                      values.begin() + static_cast<std::ptrdiff_t>(first + kBlockPages)));
}

// The platform's own share: `count` new files of a page's size, numbered from `first` as the
// run names them, made with CreateFile alone. Under Wine a name that does not exist yet
// costs a case-insensitive search of its folder, so this grows with the folder too.
void CreatePlainFiles(const std::string& folder, ULONG first, ULONG count, std::vector<double>* perPage)
{
    static const std::vector<BYTE> page = fakes::SampleBitmap(1);
    for (ULONG n = first; n < first + count; ++n)
    {
        const std::string path = folder + (n == 1 ? "\\Img.BMP" : "\\Img (" + std::to_string(n) + ").BMP");
        const double seconds = Seconds(
            [&]
            {
                HANDLE file =
                    ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
                DWORD written = 0;
                ::WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &written, nullptr);
                ::CloseHandle(file);
            });
        if (perPage)
            perPage->push_back(seconds);
    }
}

void LongRunBenchmark(int repetitions)
{
    const std::string folder = TempFolder("uiext2 bench long run");
    fakes::ScannerSetup setup;
    setup.imageCount = kRunPages;
    const fakes::Scanner scanner = fakes::MakeScanner(setup);
    const struct
    {
        const char* what;
        std::function<void(std::vector<double>*)> run;
    } sides[] = {
        {"2000-page run, per page: last 100 / first 100",
         [&](std::vector<double>* perPage) { TransferPages(folder, scanner, kRunPages, perPage); }},
        {"the same files by CreateFile alone",
         [&](std::vector<double>* perPage) { CreatePlainFiles(folder, 1, kRunPages, perPage); }},
    };
    for (const auto& side : sides)
    {
        std::vector<double> firsts, lasts;
        for (int i = 0; i < repetitions; ++i)
        {
            uiext2_test::RemoveFolder(folder);
            ::CreateDirectoryA(folder.c_str(), nullptr);
            std::vector<double> perPage;
            side.run(&perPage);
            firsts.push_back(BlockMedian(perPage, 0));
            lasts.push_back(BlockMedian(perPage, kRunPages - kBlockPages));
        }
        const double first = Median(firsts), last = Median(lasts);
        std::printf("%-44s last %7.3f ms   first %7.3f ms   time ratio (last/first) %.3f\n", side.what, last * 1000,
                    first * 1000, last / first);
        std::fflush(stdout);
    }
    uiext2_test::RemoveFolder(folder);
}

void FullFolderBenchmark(int repetitions)
{
    const std::string full = TempFolder("uiext2 bench full folder");
    const std::string empty = TempFolder("uiext2 bench empty folder");
    fakes::ScannerSetup setup;
    setup.imageCount = kFullFolderRunPages;
    const fakes::Scanner scanner = fakes::MakeScanner(setup);
    const auto prepare = [&]
    {
        uiext2_test::RemoveFolder(full);
        uiext2_test::RemoveFolder(empty);
        ::CreateDirectoryA(full.c_str(), nullptr);
        ::CreateDirectoryA(empty.c_str(), nullptr);
        for (int n = 1; n <= kFilesPresent; ++n)
        {
            const std::string name = n == 1 ? "Img.BMP" : "Img (" + std::to_string(n) + ").BMP";
            ::CloseHandle(
                ::CreateFileA((full + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        }
    };
    const struct
    {
        const char* what;
        std::function<void()> full, empty;
    } sides[] = {
        {"2000 pages, per page: 2000 files present / none",
         [&] { TransferPages(full, scanner, kFullFolderRunPages, nullptr); },
         [&] { TransferPages(empty, scanner, kFullFolderRunPages, nullptr); }},
        {"the same files by CreateFile alone",
         [&] { CreatePlainFiles(full, kFilesPresent + 1, kFullFolderRunPages, nullptr); },
         [&] { CreatePlainFiles(empty, 1, kFullFolderRunPages, nullptr); }},
    };
    for (const auto& side : sides)
    {
        Pair times = Measure(repetitions, prepare, side.full, side.empty);
        for (auto* each : {&times.ours, &times.bare})
            for (double& seconds : *each)
                seconds /= kFullFolderRunPages;
        std::printf("%-44s full %7.3f ms   empty %7.3f ms   time ratio (full/empty) %.3f\n", side.what,
                    Median(times.ours) * 1000, Median(times.bare) * 1000, Median(times.ours) / Median(times.bare));
        std::fflush(stdout);
    }
    uiext2_test::RemoveFolder(full);
    uiext2_test::RemoveFolder(empty);
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string only = argc > 2 ? argv[2] : "";
    const auto runs = [&](const char* name) { return only.empty() || only == name; };
    std::printf("median of %d repetitions each\n", repetitions);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (only.empty())
        TransferBenchmark(repetitions);
    if (runs("dialog"))
        DialogBenchmark(repetitions);
    if (runs("cleanup"))
        CleanUpBenchmark(repetitions);
    if (runs("names"))
    {
        LongRunBenchmark(std::min(repetitions, 3));
        FullFolderBenchmark(repetitions);
    }
    ::CoUninitialize();
    return 0;
}
