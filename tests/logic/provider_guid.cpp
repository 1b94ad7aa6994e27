// SHA-1 and the name-based provider GUID.
#include "provider_guid.h"

#include <cstring>

namespace uiext2
{

namespace
{

std::uint32_t Rotate(std::uint32_t value, int bits) noexcept
{
    return (value << bits) | (value >> (32 - bits));
}

} // namespace

Sha1::Sha1() noexcept : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Block(const std::uint8_t* block) noexcept
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 | static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i)
    {
        std::uint32_t f, k;
        if (i < 20)
            f = (b & c) | (~b & d), k = 0x5A827999u;
        else if (i < 40)
            f = b ^ c ^ d, k = 0x6ED9EBA1u;
        else if (i < 60)
            f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDCu;
        else
            f = b ^ c ^ d, k = 0xCA62C1D6u;
        const std::uint32_t next = Rotate(a, 5) + f + e + k + w[i];
        e = d, d = c, c = Rotate(b, 30), b = a, a = next;
    }
    state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d, state_[4] += e;
}

void Sha1::Add(const void* data, std::size_t size) noexcept
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    totalBytes_ += size;
    while (size > 0)
    {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take, bytes += take, size -= take;
        if (pendingSize_ == 64)
        {
            Block(pending_);
            pendingSize_ = 0;
        }
    }
}

std::array<std::uint8_t, 20> Sha1::Finish() noexcept
{
    const std::uint64_t bits = totalBytes_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    Add(&one, 1);
    while (pendingSize_ != 56)
        Add(&zero, 1);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Add(length, 8);
    std::array<std::uint8_t, 20> digest;
    for (int i = 0; i < 20; ++i)
        digest[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::array<std::uint8_t, 16> ProviderGuidBytes(std::string_view name) noexcept
{
    static const std::uint8_t kNamespace[16] = {0x48, 0x2C, 0x2D, 0xB2, 0xC3, 0x90, 0x47, 0xC8,
                                                0x87, 0xF8, 0x1A, 0x15, 0xBF, 0xC1, 0x30, 0xFB};
    Sha1 hash;
    hash.Add(kNamespace, sizeof(kNamespace));
    for (const char c : name)
    {
        const std::uint8_t upper[2] = {0, static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c)};
        hash.Add(upper, 2);
    }
    const std::array<std::uint8_t, 20> digest = hash.Finish();
    std::array<std::uint8_t, 16> guid;
    std::memcpy(guid.data(), digest.data(), guid.size());
    guid[7] = static_cast<std::uint8_t>((guid[7] & 0x0F) | 0x50);
    return guid;
}

} // namespace uiext2
