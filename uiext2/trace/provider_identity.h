// The name and GUID of the extension's event-tracing provider. Pure: the logic tests check
// the GUID against the platform's derivation from the name.
#pragma once

#include <cstdint>

namespace uiext2
{
namespace trace
{

struct ProviderIdentity
{
    const char* name; // ASCII, what trace programs are given
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];
};

// {92255BCB-E131-5EDD-4393-39ADE36ABE08}: the name-based GUID of the name, so that a trace
// program given only the name finds the provider.
constexpr ProviderIdentity kExtensionProvider = {
    "Velmora.WiaScanner.UiExtension", 0x92255BCBu, 0xE131u, 0x5EDDu, {0x43, 0x93, 0x39, 0xAD, 0xE3, 0x6A, 0xBE, 0x08}};

} // namespace trace
} // namespace uiext2
