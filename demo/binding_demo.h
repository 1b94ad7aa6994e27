// The properties road of the demonstration host, with the simulated scanner.
#pragma once

#include <windows.h>

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// Binds an extension object made by the DLL's class factory to a simulated scanner and
// prints what it left on the machine. 0 on success.
int RunBindingDemo(GetClassObjectFn getClassObject);
