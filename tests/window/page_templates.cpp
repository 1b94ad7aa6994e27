// Dialog templates of the shipped DLL, made into hidden dialogs.
#include "page_templates.h"

namespace testwindow
{

namespace
{

INT_PTR CALLBACK Inert(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

} // namespace

TemplateDialog::TemplateDialog(HMODULE module, int id, WORD language)
{
    const std::vector<WORD> languages = DialogLanguages(module, id);
    HRSRC resource = ::FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), language); // RT_DIALOG
    if (languages != std::vector<WORD>{language} || !resource)
        return;
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(::LockResource(::LoadResource(module, resource)));
    parent_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    dialog_ = ::CreateDialogIndirectParamW(module, dialogTemplate, parent_, Inert, 0);
    if (!dialog_)
        return;
    RECT client{};
    ::GetClientRect(dialog_, &client);
    for (HWND child = ::GetWindow(dialog_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    {
        RECT area{};
        ::GetWindowRect(child, &area);
        ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&area), 2);
        const bool inside = area.left >= client.left && area.top >= client.top && area.right <= client.right &&
                            area.bottom <= client.bottom;
        controls_.push_back({::GetDlgCtrlID(child), inside});
    }
}

TemplateDialog::~TemplateDialog()
{
    if (dialog_)
        ::DestroyWindow(dialog_);
    if (parent_)
        ::DestroyWindow(parent_);
}

std::wstring TemplateDialog::Caption() const
{
    wchar_t text[128] = {};
    ::GetWindowTextW(dialog_, text, 128);
    return text;
}

std::wstring TemplateDialog::Text(int id) const
{
    wchar_t text[128] = {};
    ::GetDlgItemTextW(dialog_, id, text, 128);
    return text;
}

std::vector<WORD> DialogLanguages(HMODULE module, int id)
{
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), AddLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

} // namespace testwindow
