// Another program holding an entry of ours for a while: a reader, a virus scanner, a second
// writer. The handle is let go on a thread of its own, so that the step under test runs
// while it is held.
#pragma once

#include <windows.h>

#include <thread>

namespace uiext2_test
{

class LetsGoAfter
{
public:
    // Closes `held` after `ms`; nothing when it is INVALID_HANDLE_VALUE.
    LetsGoAfter(HANDLE held, DWORD ms)
        : thread_(
              [held, ms]
              {
                  if (held == INVALID_HANDLE_VALUE)
                      return;
                  ::Sleep(ms);
                  ::CloseHandle(held);
              })
    {
    }
    ~LetsGoAfter() { Join(); }
    LetsGoAfter(const LetsGoAfter&) = delete;
    LetsGoAfter& operator=(const LetsGoAfter&) = delete;

    // Waits until the handle is let go.
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::thread thread_;
};

} // namespace uiext2_test
