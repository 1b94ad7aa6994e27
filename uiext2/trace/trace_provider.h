// What the extension's event functions share: its one provider and the writing of an event
// from a table of fields. Internal to trace/trace_*.cpp.
#pragma once

#include "platform/event_tracing.h"
#include "trace/trace_logging.h"

#include <cstddef>

namespace uiext2
{
namespace trace
{

// "Velmora.WiaScanner.UiExtension", registered by the DLL's entry point. In a program that
// links the library without it (the unit tests), it stays disabled and no event is written.
TraceProvider& ExtensionProvider() noexcept;

// What follows the last backslash or slash of `path`: a file's name without its folder.
const wchar_t* NameOnly(const wchar_t* path) noexcept;

// Writes one event of fields `fields` with one value for each.
template <std::size_t N>
void Write(UCHAR level, ULONGLONG keyword, const char* name, const TraceField (&fields)[N],
           const TraceValue (&values)[N]) noexcept
{
    static_assert(N <= 16, "an event of at most 16 fields");
    const TraceEventSchema schema = {name, fields, static_cast<UCHAR>(N)};
    ExtensionProvider().Write(level, keyword, schema, values);
}

} // namespace trace
} // namespace uiext2
