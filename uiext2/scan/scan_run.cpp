// The scan run: guard, device files, what the companion is handed, the pipe, the launch,
// the message loop and the clean-up, in that order.
#include "scan/scan_run.h"

#include "com/module.h"
#include "trace/trace_events.h"
#include "device/wia_binding.h"
#include "device/path_rules.h"
#include "device/settings_store.h"
#include "pages/language.h"
#include "scan/companion_pipe.h"
#include "scan/item_walk.h"
#include "scan/modal_wait.h"
#include "scan/run_environment.h"
#include "scan/scan_names.h"
#include "scan/scan_record.h"
#include "scan/staging_copies.h"
#include "support/unique.h"

#include <shlwapi.h>

#include <cstring>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace uiext2
{

namespace
{

// True when no other run is active; `guard` then keeps the named mutex in existence. The
// test and the creation leave no gap: a mutex that appears between them shows as
// ERROR_ALREADY_EXISTS at creation. Nobody ever owns it: its existence is the lock.
bool EnterRun(UniqueMutex& guard) noexcept
{
    if (UniqueHandle(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kScanRunMutexName)))
        return false;
    const HANDLE created = ::CreateMutexA(nullptr, FALSE, kScanRunMutexName);
    const DWORD error = ::GetLastError();
    guard.reset(created);
    if (!guard || error == ERROR_ALREADY_EXISTS)
    {
        guard.reset();
        return false;
    }
    return true;
}

class ScanRun
{
public:
    // The run holds its own reference on the root item: the application's message handlers
    // run during the wait, and one of them may release the application's references.
    explicit ScanRun(DEVICEDIALOGDATA2& data) noexcept
        : root_(data.pIWiaItemRoot), record_(data), owner_(data.hwndParent)
    {
    }

    HRESULT Run() noexcept
    {
        // The pipe first, as the first instance of its name: its name, the staging folder
        // and the drop folder are shared by every logon session on the machine, and a run
        // in another session that holds the pipe holds them too. Then this run touches
        // none of them and has nothing to clean up.
        HRESULT hr = pipe_.Create();
        if (FAILED(hr))
            return trace::RunEnded(hr, 0);

        PrepareDevice();
        PublishRunValues();
        dropFolder_.Create(folders_);
        hr = FinishDeadRun();
        if (hr != S_OK)
        {
            CleanUp();
            return trace::RunEnded(hr, 0);
        }
        // The companion starts only once every copy it finds is this device's.
        const DWORD handOff = staging_.CopyOut(folders_);
        hr = handOff == ERROR_SUCCESS ? Launch() : HRESULT_FROM_WIN32(handOff);
        trace::CompanionStarted(hr, companion_.process());
        if (SUCCEEDED(hr))
            HandOffRecord::NoteCompanion(companion_.process());
        if (SUCCEEDED(hr))
        {
            hr = pipe_.WaitForClient(companion_.process(), wait_);
            if (hr == S_OK)
                Serve();
            else if (hr == S_FALSE) // the companion left without connecting: a cancelled scan
                hr = S_OK;
        }
        CleanUp();
        return trace::RunEnded(SUCCEEDED(hr) ? Result() : hr, record_.Saved());
    }

private:
    // The device's settings files, as the binding prepares them, in the run's folders. A
    // device whose name cannot name a folder still gets its scan, without settings.
    void PrepareDevice() noexcept
    {
        DeviceIdentity identity{};
        const HRESULT read = ReadDeviceIdentity(root_.Get(), identity);
        trace::RunBegun(identity.deviceName); // empty when it could not be read
        if (FAILED(read) || folders_.NameDevice(identity.deviceName) != ERROR_SUCCESS || !folders_.OpenDevice(true))
            return;
        ProvisionDeviceFolder(folders_, identity.modelName);
        MigrateScannerAddress(folders_);
    }

    // A run whose host died (a crash, "End task", a log-off) left its record: its companion's
    // changes go into the file of the device they were made for, against what it was handed,
    // as its own copy-back would have done, before this run's copies replace them. Its drop
    // folder and run values go with this run's. S_OK to go on; else what the run answers.
    HRESULT FinishDeadRun() noexcept
    {
        HandOffRecord record;
        if (!record.Load())
            return S_OK;
        // Its companion may outlive it: the user's scan window of that run, still writing its
        // copies. New copies handed under it would take its later words into this run, or
        // into another device. It gets the time a run gives its own companion to leave; one
        // still there keeps this run from starting, as another run of this logon would, and
        // its hand-off is finished by the first run after it has gone.
        const UniqueHandle companion(record.OpenLiveCompanion());
        const HANDLE process = companion.get();
        if (process && wait_.Wait(&process, 1, kCompanionExitWaitMs) != WAIT_OBJECT_0)
            return S_FALSE;
        DeviceFolders other;
        const bool same = folders_.deviceHeld() && std::strcmp(folders_.deviceName(), record.deviceName()) == 0;
        DeviceFolders& theirs = same ? folders_ : other;
        if (!(same || (other.NameDevice(record.deviceName()) == ERROR_SUCCESS && other.OpenDevice(false))) ||
            !theirs.OpenStaging(false))
        {
            HandOffRecord::Clear(); // nowhere to merge into, now or later
            return S_OK;
        }
        StagingCopies dead;
        dead.Adopt(theirs, record);
        dead.CopyBack();
        // A copy that could not be merged yet stays with the record: this run's copies would
        // replace it, so the run ends before its launch, as for a copy it cannot replace.
        return dead.Finished() ? S_OK : HRESULT_FROM_WIN32(dead.pendingError());
    }

    void PublishRunValues() noexcept
    {
        char application[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, application, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            application[0] = '\0'; // cut short, it would name another file

        const LanguageRow& row = LanguageTable(LanguageCode());
        char programFiles[MAX_PATH];
        char helpFile[MAX_PATH];
        char helpPath[MAX_PATH] = {};
        char languageDll[64] = {};
        // FormatPath leaves the text empty when it would not fit.
        (void)(ProgramFilesFolder(programFiles) && FormatHelpFile(row, helpFile, sizeof(helpFile)) &&
               FormatPath(helpPath, sizeof(helpPath), "%s%s", programFiles, helpFile));
        FormatLanguageLibrary(row, languageDll, sizeof(languageDll));
        runValues_.Publish(application, helpPath, languageDll);
    }

    HRESULT Launch() noexcept
    {
        char programFiles[MAX_PATH];
        char program[MAX_PATH];
        if (!ProgramFilesFolder(programFiles) ||
            !FormatPath(program, sizeof(program), "%s\\%s\\%s", programFiles, kPackageFolder, kCompanionFileName))
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

        // The companion's own folder is its current folder, as when it is started from the
        // shell; the host's may be anywhere, or gone.
        char folder[MAX_PATH];
        if (FAILED(::StringCchCopyA(folder, MAX_PATH, program)) || !::PathRemoveFileSpecA(folder))
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

        // Shown normally, whatever show state the host was started with: a host started
        // hidden or minimised would otherwise pass that on to the companion's first window
        // while the application's window is disabled, and to the user it would hang.
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        // An empty command line, not an absent one: the companion takes no arguments.
        char commandLine[1] = {'\0'};
        // The process handle tells the companion's client from any other, and ends every
        // wait of the run when the companion exits; the run never stops it.
        if (!::CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                              companion_.put()))
        {
            const DWORD error = ::GetLastError();
            return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
        }
        return S_OK;
    }

    void Serve() noexcept
    {
        DWORD message = 0;
        // A companion that exits ends the run as a cancelled scan, whoever holds the pipe.
        while (pipe_.ReadMessage(companion_.process(), wait_, message) && trace::PipeMessage(message) == kItemsReady)
            TransferWaitingItems(root_.Get(), record_);
    }

    // A run that saved pages returns them; one that saved none says why: the pages that
    // came could not be saved, or the application's WM_QUIT ended the run.
    HRESULT Result() const noexcept
    {
        if (record_.Saved() > 0)
            return S_OK;
        const HRESULT pages = record_.Outcome();
        if (FAILED(pages))
            return pages;
        return wait_.QuitSeen() ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
    }

    // What the companion writes after the scan has ended, or as it exits, is part of its
    // settings: it is given a few seconds to be gone before its copies are read. Its messages
    // are dispatched meanwhile, unless the application is quitting.
    void AwaitCompanionExit() noexcept
    {
        if (!companion_.process())
            return;
        const HANDLE process = companion_.process();
        if (wait_.QuitSeen() || wait_.Wait(&process, 1, kCompanionExitWaitMs) == ModalWait::kQuit)
            ::WaitForSingleObject(process, kCompanionExitWaitMs);
    }

    void CleanUp() noexcept
    {
        owner_.Enable();
        // The client goes first, so that the companion sees the end of the run (when the
        // run ends first, on a WM_QUIT) before its staging copies are read: what it leaves
        // in them once it is told is what comes back. The pipe instance itself goes last:
        // it holds the pipe's name, which keeps a run of another logon session away from
        // the staging copies and the drop folder until both are done with. (A client that
        // opens the name meanwhile is refused as busy: nobody is listening.)
        pipe_.Disconnect();
        const trace::CompanionWatch watch(companion_.process());
        AwaitCompanionExit();
        companion_.reset();
        trace::HandOff(static_cast<ULONG>(staging_.CopyBack()), watch);
        dropFolder_.Empty();
        runValues_.Delete();
        pipe_.Close();
    }

    Microsoft::WRL::ComPtr<IWiaItem2> root_;
    ScanRecord record_;
    ModalWait wait_;      // reposts a WM_QUIT last,
    DisabledOwner owner_; // after the owner is enabled again
    RunValues runValues_;
    DeviceFolders folders_; // this run's device, whatever an object or another run is bound to
    StagingCopies staging_;
    ImageDropFolder dropFolder_;
    CompanionPipe pipe_;
    UniqueProcessInformation companion_;
};

} // namespace

HRESULT RunScanDialog(DEVICEDIALOGDATA2* data) noexcept
{
    if (!data || !data->pIWiaItemRoot)
        return E_INVALIDARG;
    UniqueMutex guard;
    if (!EnterRun(guard))
        return trace::RunEnded(S_FALSE, 0);
    // The host may ask DllCanUnloadNow from a message handler during the run, after the
    // application released the extension object: the code of the run must stay.
    const ModuleLock lock;
    return ScanRun(*data).Run();
}

} // namespace uiext2
