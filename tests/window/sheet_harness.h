// Drives a property sheet by messages, as a user would, for page tests without a display.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testwindow
{

// A modeless sheet around the given pages; closed and destroyed with the object.
class ModelessSheet
{
public:
    explicit ModelessSheet(std::vector<HPROPSHEETPAGE> pages, const char* caption = "Properties");
    ~ModelessSheet();
    ModelessSheet(const ModelessSheet&) = delete;
    ModelessSheet& operator=(const ModelessSheet&) = delete;

    HWND sheet() const { return sheet_; }
    HWND page(int index) const; // the dialog of a page, creating it by selecting it
    bool ApplyEnabled() const;  // lit up once a page reports a change
    // What the OK/Apply button sends: PSN_APPLY to every page. False when a page refused
    // (PSNRET_INVALID or PSNRET_INVALID_NOCHANGEPAGE).
    bool Apply();
    void PumpMessages();

private:
    HWND sheet_ = nullptr;
};

// While alive, every owned dialog box of this thread (a message box) is closed with OK by a
// watching thread, its text and owner kept.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    // The texts of the boxes closed so far (their controls' texts, each followed by '|').
    std::vector<std::wstring> texts() const;
    std::vector<HWND> owners() const;

private:
    void Watch();
    const DWORD thread_ = ::GetCurrentThreadId();
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<std::wstring> texts_;
    std::vector<HWND> owners_;
    std::thread watcher_;
};

} // namespace testwindow
