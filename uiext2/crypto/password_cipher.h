// The login password's stored form: RC2 under a key derived from the MD5 digest of a fixed
// pass phrase, through CryptoAPI, written as base64 text.
#pragma once

#include <cstdint>
#include <memory>

namespace uiext2
{

// The pass phrase's 22 bytes: full-width "PQRSTUVWXYZ" in code page 932. The terminator is
// not hashed.
inline constexpr char PassPhrase[] = "\x82\x6F\x82\x70\x82\x71\x82\x72\x82\x73\x82\x74"
                                     "\x82\x75\x82\x76\x82\x77\x82\x78\x82\x79";
static_assert(sizeof(PassPhrase) == 23, "22 bytes and a terminator");

// Bytes of the Settings page's password field (and of the scratch area), terminator included.
// A result of this many bytes or more is refused: passwords up to 95 bytes can be stored.
inline constexpr uint32_t PasswordFieldSize = 140;

// Mode 0 turns a stored form back into the password; any other mode turns a password into its
// stored form. `input` is text of `inputLength` bytes (an encryption stops at its first NUL);
// `output` has room for PasswordFieldSize bytes. True when a result shorter than
// PasswordFieldSize was produced: it is copied to output without a terminator and its length
// stored in *outLength. False for every failure; *outLength is then written only when a
// result was produced but was too long, and nothing is copied.
bool TransformPassword(uint8_t mode, const char* input, int32_t inputLength, char* output,
                       uint32_t* outLength) noexcept;

// Replaces the password field's text (PasswordFieldSize bytes, zero-terminated) by its
// transformation and returns true, or leaves it exactly as it was and returns false when the
// transformation fails; a field with no terminator within its size is left as it is. `scratch`
// is a PasswordFieldSize-byte area allocated by the caller with new[]; it is wiped and
// released on every path.
bool TransformPasswordField(uint8_t mode, char* field, std::unique_ptr<char[]> scratch) noexcept;

} // namespace uiext2
