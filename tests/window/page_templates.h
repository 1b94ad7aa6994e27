// A dialog template of the shipped DLL made into a hidden dialog, to read what it shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testwindow
{

class TemplateDialog
{
public:
    struct Control
    {
        int id;
        bool inside; // the control's rectangle lies within the dialog's client area
    };

    // The template `id` in `language` (not a fallback: FindResourceEx would fall back).
    TemplateDialog(HMODULE module, int id, WORD language);
    ~TemplateDialog();
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;

    bool ok() const { return dialog_ != nullptr; }
    std::wstring Caption() const;
    std::wstring Text(int id) const; // of one control
    const std::vector<Control>& Controls() const { return controls_; }

private:
    HWND parent_ = nullptr;
    HWND dialog_ = nullptr;
    std::vector<Control> controls_;
};

// The resource languages in which `module` holds dialog `id`.
std::vector<WORD> DialogLanguages(HMODULE module, int id);

} // namespace testwindow
