// Shows the scanner's properties as the shell does, for pictures of the pages: the shipped
// DLL's extension object initialised with a simulated scanner, its AddPages, and a modal
// property sheet opened on the page given as the argument (0 Settings, 1 About). Runs until
// the sheet is closed.
#include "properties_host.h"

#include <commctrl.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&init);
    testwindow::PropertiesHost host("Office Scanner", L"2.10.005");
    if (!host.ok())
        return 1;
    // A login and an account ID, so that their controls show enabled.
    const char* file = host.settingsFile().c_str();
    ::WritePrivateProfileStringA("Contents", "Compression", "3", file);
    ::WritePrivateProfileStringA("Contents", "CompressionGray", "2", file);
    ::WritePrivateProfileStringA("Authentication", "Auth", "1", file);
    ::WritePrivateProfileStringA("Authentication", "UserName", "operator", file);
    ::WritePrivateProfileStringA("Authentication", "Account", "1", file);
    ::WritePrivateProfileStringA("Authentication", "ID", "1024", file);

    testwindow::PropertiesHost::Offer offer = host.AddPages();
    if (offer.kept.size() != 2)
        return 1;
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPTITLE;
    header.pszCaption = "Office Scanner";
    header.nPages = static_cast<UINT>(offer.kept.size());
    header.phpage = offer.kept.data();
    header.nStartPage = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 0;
    return ::PropertySheetA(&header) < 0 ? 1 : 0;
}
