// The release DLL's symbols, found and read as a Windows debugger does: dbghelp follows
// the DLL's debug directory to the PDB beside it, accepts it only if the PDB's signature
// and age match, and then names the DLL's functions.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbghelp.h>

#include <string>

namespace
{

std::string ProgramFolder()
{
    char path[MAX_PATH];
    std::string folder(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
    return folder.erase(folder.find_last_of('\\'));
}

class Symbols : public testing::Test
{
protected:
    void SetUp() override
    {
        ::SymSetOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_EXACT_SYMBOLS);
        // Only the DLL's own folder: the PDB must be found where the archive puts it.
        ASSERT_TRUE(::SymInitialize(process_, ProgramFolder().c_str(), FALSE));
        dll_ = ::LoadLibraryA((ProgramFolder() + "\\uiext2.dll").c_str());
        ASSERT_NE(nullptr, dll_);
        base_ = ::SymLoadModuleEx(process_, nullptr, (ProgramFolder() + "\\uiext2.dll").c_str(), nullptr,
                                  reinterpret_cast<DWORD64>(dll_), 0, nullptr, 0);
        ASSERT_NE(0u, base_);
    }
    void TearDown() override
    {
        ::SymCleanup(process_);
        if (dll_)
            ::FreeLibrary(dll_);
    }

    HANDLE process_ = ::GetCurrentProcess();
    HMODULE dll_ = nullptr;
    DWORD64 base_ = 0;
};

std::string FileName(const std::string& path)
{
    return path.substr(path.find_last_of("\\/") + 1);
}

TEST_F(Symbols, TheDebuggerLoadsTheMatchingPdb)
{
    IMAGEHLP_MODULE64 module{};
    module.SizeOfStruct = sizeof module;
    ASSERT_TRUE(::SymGetModuleInfo64(process_, base_, &module));
    // Without a PDB whose signature and age match, dbghelp falls back to the export table.
    EXPECT_EQ(SymPdb, module.SymType);
    EXPECT_FALSE(module.PdbUnmatched);
    // Windows reports the PDB's full path here, Wine its file name.
    EXPECT_EQ("uiext2.pdb", FileName(module.LoadedPdbName));
}

// What only the PDB knows: functions that are not exported, and the source line of an
// address.
TEST_F(Symbols, NamesAndLinesComeFromThePdb)
{
    for (const char* name : {"uiext2::GetClassObject", "uiext2::CanUnloadNow", "uiext2::ModuleRefCount"})
    {
        alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + MAX_SYM_NAME] = {};
        auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = MAX_SYM_NAME;
        EXPECT_TRUE(::SymFromName(process_, name, symbol)) << name;
    }

    const struct
    {
        const char* exported;
        const char* file;
    } rows[] = {{"DllGetClassObject", "dllmain.cpp"}, {"DllCanUnloadNow", "dllmain.cpp"}};
    for (const auto& row : rows)
    {
        const auto address = reinterpret_cast<DWORD64>(::GetProcAddress(dll_, row.exported));
        IMAGEHLP_LINE64 line{};
        line.SizeOfStruct = sizeof line;
        DWORD displacement = 0;
        ASSERT_TRUE(::SymGetLineFromAddr64(process_, address, &displacement, &line)) << row.exported;
        EXPECT_EQ(row.file, FileName(line.FileName)) << row.exported;
        EXPECT_GT(line.LineNumber, 0u);
    }
}

} // namespace
