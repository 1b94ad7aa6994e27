// Early-return helpers for HRESULT code. Each evaluates its argument once.
#pragma once

#include <windows.h>

#define RETURN_IF_FAILED(expr)                                                                                         \
    do                                                                                                                 \
    {                                                                                                                  \
        const HRESULT hr_ = (expr);                                                                                    \
        if (FAILED(hr_))                                                                                               \
            return hr_;                                                                                                \
    } while (0)

#define RETURN_HR_IF(hr, condition)                                                                                    \
    do                                                                                                                 \
    {                                                                                                                  \
        if (condition)                                                                                                 \
            return (hr);                                                                                               \
    } while (0)

#define RETURN_LAST_ERROR_IF(condition)                                                                                \
    do                                                                                                                 \
    {                                                                                                                  \
        if (condition)                                                                                                 \
        {                                                                                                              \
            const DWORD error_ = ::GetLastError();                                                                     \
            return error_ ? HRESULT_FROM_WIN32(error_) : E_FAIL;                                                       \
        }                                                                                                              \
    } while (0)
