// The user's measurement system, set for a test and put back afterwards.
#include "user_measure.h"

#include <cstring>

namespace uiext2_test
{

ScopedUserMeasure::ScopedUserMeasure()
{
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, nullptr, 0, KEY_READ | KEY_SET_VALUE,
                          nullptr, &key_, nullptr) != ERROR_SUCCESS)
    {
        key_ = nullptr;
        return;
    }
    DWORD size = 0;
    if (::RegQueryValueExA(key_, "iMeasure", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS)
    {
        saved_.resize(size);
        had_ = ::RegQueryValueExA(key_, "iMeasure", nullptr, &type_, saved_.data(), &size) == ERROR_SUCCESS;
    }
}

ScopedUserMeasure::~ScopedUserMeasure()
{
    if (!key_)
        return;
    if (had_)
        ::RegSetValueExA(key_, "iMeasure", 0, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
    else
        ::RegDeleteValueA(key_, "iMeasure");
    ::RegCloseKey(key_);
}

bool ScopedUserMeasure::Set(const char* text)
{
    if (!text)
    {
        const LONG deleted = ::RegDeleteValueA(key_, "iMeasure");
        return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    return ::RegSetValueExA(key_, "iMeasure", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

} // namespace uiext2_test
