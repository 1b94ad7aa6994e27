// The password cipher: CryptoAPI RC2 under the pass phrase's MD5 digest, base64 text.
#include "crypto/password_cipher.h"

#include "crypto/base64_coder.h"
#include "support/unique.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <new>

namespace uiext2
{

namespace
{

constexpr DWORD Rc2BlockBytes = 8;

// A heap buffer that may hold a password: wiped before it is freed.
struct WipeOnDelete
{
    size_t size;
    void operator()(char* buffer) const noexcept
    {
        SecureZeroMemory(buffer, size);
        delete[] buffer;
    }
};
using SecretBuffer = std::unique_ptr<char[], WipeOnDelete>;

// A coder whose arrays are wiped before they are freed: after a decryption its raw bytes hold
// the plain password. Each coder here does one encode or one decode, whose reserves allocate
// before anything is written, so no filled array is ever freed by a reserve.
class SecretCoder final : public Base64Coder
{
public:
    ~SecretCoder() override
    {
        if (raw)
            SecureZeroMemory(raw, rawCapacity);
        if (text)
            SecureZeroMemory(text, textCapacity);
    }
};

// The first provider context of the four tries that succeeds. The out handle is adopted only
// on success: a failed acquisition's handle is not a context to release.
bool AcquireProvider(UniqueCryptProvider& provider) noexcept
{
    struct Attempt
    {
        const char* name;
        DWORD flags;
    };
    static const Attempt attempts[] = {
        {nullptr, CRYPT_VERIFYCONTEXT},
        {MS_ENHANCED_PROV_A, CRYPT_VERIFYCONTEXT},
        {nullptr, 0},
        {nullptr, CRYPT_NEWKEYSET},
    };
    for (const Attempt& attempt : attempts)
    {
        HCRYPTPROV handle = 0;
        if (::CryptAcquireContextA(&handle, nullptr, attempt.name, PROV_RSA_FULL, attempt.flags))
        {
            provider.reset(handle);
            return true;
        }
    }
    return false;
}

// The RC2 key from the MD5 digest of the pass phrase, with the provider's default key length.
bool DeriveKey(HCRYPTPROV provider, UniqueCryptHash& hash, UniqueCryptKey& key) noexcept
{
    HCRYPTHASH hashHandle = 0;
    if (!::CryptCreateHash(provider, CALG_MD5, 0, 0, &hashHandle))
        return false;
    hash.reset(hashHandle);
    if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(PassPhrase),
                         static_cast<DWORD>(std::strlen(PassPhrase)), 0))
        return false;
    HCRYPTKEY keyHandle = 0;
    if (!::CryptDeriveKey(provider, CALG_RC2, hash.get(), CRYPT_EXPORTABLE, &keyHandle))
        return false;
    key.reset(keyHandle);
    return true;
}

// Number of "=" among the last three characters of the text as handed in (whitespace
// included, so a trailing blank pushes a pad out of the count).
uint32_t TrailingPads(const char* text) noexcept
{
    const size_t length = std::strlen(text);
    const size_t first = length > 3 ? length - 3 : 0;
    uint32_t pads = 0;
    for (size_t i = first; i < length; ++i)
    {
        if (text[i] == '=')
            ++pads;
    }
    return pads;
}

} // namespace

bool TransformPassword(uint8_t mode, const char* input, int32_t inputLength, char* output, uint32_t* outLength) noexcept
{
    if (!input || inputLength < 0 || !output || !outLength)
        return false;

    // Declared so that they are destroyed in the order of clean-up: the working copy, the key,
    // the hash, the context, then the coder.
    SecretCoder coder;
    UniqueCryptProvider provider;
    UniqueCryptHash hash;
    UniqueCryptKey key;
    // The 8 spare bytes hold the pad block that encryption adds; they also keep the copy
    // zero-terminated.
    const size_t copySize = static_cast<size_t>(inputLength) + Rc2BlockBytes;
    SecretBuffer copy(new (std::nothrow) char[copySize], WipeOnDelete{copySize});
    if (!copy)
        return false;
    std::memset(copy.get(), 0, copySize);
    std::memcpy(copy.get(), input, static_cast<size_t>(inputLength));

    if (!AcquireProvider(provider) || !DeriveKey(provider.get(), hash, key))
        return false;

    const char* result = nullptr;
    size_t resultLength = 0;
    if (mode != 0)
    {
        auto* data = reinterpret_cast<BYTE*>(copy.get());
        auto dataLength = static_cast<DWORD>(std::strlen(copy.get()));
        if (!::CryptEncrypt(key.get(), 0, TRUE, 0, data, &dataLength, static_cast<DWORD>(copySize)))
            return false;
        coder.EncodeBytes(data, dataLength);
        result = coder.TextData();
        resultLength = std::strlen(result);
        // The coder leaves an empty text when it could not allocate: that is no stored form.
        if (resultLength != (static_cast<size_t>(dataLength) + 2) / 3 * 4)
            return false;
    }
    else
    {
        coder.DecodeString(copy.get());
        uint8_t* raw = nullptr;
        const uint32_t rawLength = coder.GetRaw(&raw);
        const uint32_t pads = TrailingPads(copy.get());
        // Ciphertext is a whole, nonzero number of blocks. Anything else (text that is no
        // stored form, a pad pushed out of the count by trailing whitespace, an empty value)
        // is refused here rather than handed to the decryption's pad check.
        if (!raw || pads > rawLength)
            return false;
        DWORD dataLength = rawLength - pads;
        if (dataLength == 0 || dataLength % Rc2BlockBytes != 0)
            return false;
        if (!::CryptDecrypt(key.get(), 0, TRUE, 0, raw, &dataLength))
            return false;
        result = reinterpret_cast<const char*>(raw);
        resultLength = dataLength;
    }

    *outLength = static_cast<uint32_t>(resultLength);
    if (resultLength >= PasswordFieldSize)
        return false;
    std::memcpy(output, result, resultLength);
    return true;
}

bool TransformPasswordField(uint8_t mode, char* field, std::unique_ptr<char[]> scratch) noexcept
{
    // After a decryption the scratch area holds the plain password.
    SecretBuffer area(scratch.release(), WipeOnDelete{PasswordFieldSize});
    if (!area || !field)
        return false;
    std::memset(area.get(), 0, PasswordFieldSize);

    // Text that fills the field without a terminator is not the field's text: leave it.
    const size_t length = strnlen(field, PasswordFieldSize);
    if (length >= PasswordFieldSize)
        return false;

    uint32_t resultLength = 0;
    if (!TransformPassword(mode, field, static_cast<int32_t>(length), area.get(), &resultLength))
        return false;
    SecureZeroMemory(field, PasswordFieldSize);
    std::memcpy(field, area.get(), resultLength);
    return true;
}

} // namespace uiext2
