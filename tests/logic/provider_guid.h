// The provider GUID the platform derives from a provider's name for self-describing events,
// so that trace programs given only the name find it. Pure logic: no platform headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace uiext2
{

// SHA-1 (FIPS 180-4), fed in pieces.
class Sha1
{
public:
    Sha1() noexcept;
    void Add(const void* data, std::size_t size) noexcept;
    std::array<std::uint8_t, 20> Finish() noexcept;

private:
    void Block(const std::uint8_t* block) noexcept;

    std::uint32_t state_[5];
    std::uint8_t pending_[64] = {};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The GUID's 16 bytes as a GUID lies in memory (Data1 to Data3 little-endian): SHA-1 over the
// namespace {482C2DB2-C390-47C8-87F8-1A15BFC130FB} in network byte order, then the name
// upper-cased and encoded as UTF-16 big-endian without a terminator; the first 16 bytes of
// the hash, with the high nibble of byte 7 set to 5 (a name-based GUID). ASCII names only:
// the platform upper-cases by the invariant culture, which for ASCII is A-Z.
std::array<std::uint8_t, 16> ProviderGuidBytes(std::string_view name) noexcept;

} // namespace uiext2
