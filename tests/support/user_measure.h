// The user's measurement system (HKCU\Control Panel\International iMeasure), set for a test
// and put back afterwards.
#pragma once

#include <windows.h>

#include <vector>

namespace uiext2_test
{

// Restores the value, or its absence, when destroyed.
class ScopedUserMeasure
{
public:
    ScopedUserMeasure();
    ~ScopedUserMeasure();
    ScopedUserMeasure(const ScopedUserMeasure&) = delete;
    ScopedUserMeasure& operator=(const ScopedUserMeasure&) = delete;

    bool ok() const { return key_ != nullptr; }

    // Writes `text` as the value; nullptr removes it.
    bool Set(const char* text);

private:
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD type_ = REG_SZ;
    std::vector<BYTE> saved_;
};

} // namespace uiext2_test
