// Points one import of a loaded module somewhere else: how a test stands in for a platform
// function that Wine cannot be made to answer as a user's machine would.
#pragma once

#include <windows.h>

#include <cstring>

namespace uiext2_test
{

// Rewrites the import address table's slot of `function` from `dll` in `module`; returns
// what the slot held, or null when the module imports no such function by name.
inline void* RedirectImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name; ++entry)
    {
        if (::_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const char*>(
                                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name),
                            function) != 0)
                continue;
            auto** slot = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD protection = 0;
            ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
            void* before = *slot;
            *slot = replacement;
            ::VirtualProtect(slot, sizeof(void*), protection, &protection);
            return before;
        }
    }
    return nullptr;
}

// One import pointed elsewhere for the life of the object.
class ImportPatch
{
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
        : module_(module), dll_(dll), function_(function), original_(RedirectImport(module, dll, function, replacement))
    {
    }
    ~ImportPatch()
    {
        if (original_)
            RedirectImport(module_, dll_, function_, original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool ok() const { return original_ != nullptr; }

private:
    HMODULE module_;
    const char* dll_;
    const char* function_;
    void* original_;
};

} // namespace uiext2_test
