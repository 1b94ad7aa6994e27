// Drives a property sheet by messages, as a user would, for page tests without a display.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

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
    void Apply();               // what the OK/Apply button sends: PSN_APPLY to every page
    void PumpMessages();

private:
    HWND sheet_ = nullptr;
};

} // namespace testwindow
