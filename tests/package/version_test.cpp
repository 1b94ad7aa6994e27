// The built DLL's version resource, read as Explorer and installers read it: the numbers
// and texts come from the project version and the file is named as it is shipped.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

std::string DllPath()
{
    char path[MAX_PATH];
    std::string dll(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
    return dll.erase(dll.find_last_of('\\') + 1) + "uiext2.dll";
}

class VersionResource : public testing::Test
{
protected:
    void SetUp() override
    {
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(DllPath().c_str(), &ignored);
        ASSERT_NE(0u, size) << "no version resource in " << DllPath();
        data_.resize(size);
        ASSERT_TRUE(::GetFileVersionInfoA(DllPath().c_str(), 0, size, data_.data()));
    }

    template <typename T> T* Query(const std::string& path)
    {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), path.c_str(), &value, &length) || length == 0)
            return nullptr;
        return static_cast<T*>(value);
    }

    std::vector<char> data_;
};

TEST_F(VersionResource, NumbersAreTheProjectVersion)
{
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(3, std::sscanf(UIEXT2_EXPECTED_VERSION, "%u.%u.%u", &major, &minor, &patch));

    const auto* fixed = Query<VS_FIXEDFILEINFO>("\\");
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(MAKELONG(minor, major), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(0, patch), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask & (VS_FF_DEBUG | VS_FF_PRERELEASE | VS_FF_PRIVATEBUILD))
        << "a shipped build carries no debug, pre-release or private flag";
}

TEST_F(VersionResource, TextsAreInTheBlockTheTranslationNames)
{
    // Readers look the texts up under the language and code page of the first translation:
    // a block under any other name is invisible to them.
    const auto* translation = Query<WORD>("\\VarFileInfo\\Translation");
    ASSERT_NE(nullptr, translation);
    char block[64];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);

    const std::string file = DllPath().substr(DllPath().find_last_of('\\') + 1);
    const struct
    {
        const char* name;
        std::string expected;
    } rows[] = {
        {"FileVersion", UIEXT2_EXPECTED_VERSION},
        {"ProductVersion", UIEXT2_EXPECTED_VERSION},
        {"OriginalFilename", file},
        {"ProductName", UIEXT2_EXPECTED_PRODUCT},
        {"FileDescription", UIEXT2_EXPECTED_DESCRIPTION},
    };
    for (const auto& row : rows)
    {
        const char* text = Query<char>(block + std::string(row.name));
        EXPECT_EQ(row.expected, text ? text : "(missing)") << row.name << " in " << block;
    }
}

} // namespace
