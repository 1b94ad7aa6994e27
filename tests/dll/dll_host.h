// Loads uiext2.dll as a COM host does and hands out its exports.
#pragma once

#include <unknwn.h>
#include <windows.h>

namespace testhost
{

// {2BCA3E51-192D-430D-9D2E-CBF18030EAD7}
extern const CLSID CLSID_UiExtension;

struct Exports
{
    HMODULE module;
    HRESULT(STDAPICALLTYPE* DllGetClassObject)(REFCLSID, REFIID, void**);
    HRESULT(STDAPICALLTYPE* DllCanUnloadNow)();
    HRESULT(STDAPICALLTYPE* DllRegisterServer)();
    HRESULT(STDAPICALLTYPE* DllUnregisterServer)();
};

// The DLL beside the test program, loaded once for the process.
const Exports& Dll();

// CreateInstance through the DLL's class factory.
HRESULT CreateExtension(REFIID iid, void** object);

} // namespace testhost
