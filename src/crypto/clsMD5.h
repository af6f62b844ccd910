// MD5 message digest (RFC 1321). Used for the password digest stored in the
// payload header instead of the password itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kalmira::crypto {

class clsMD5 {
public:
    clsMD5();

    void MD5Init();
    // Takes in bytes; any amount per call and in total (the digest is that of RFC 1321).
    void MD5Update(std::span<const std::uint8_t> bytes);
    // Takes in the first `count` bytes; std::out_of_range when the array is shorter.
    void MD5Update(std::size_t count, std::span<const std::uint8_t> bytes);
    void MD5Final();

    // The digest (or current state) as 32 upper-case hex digits, A..D, each least
    // significant byte first.
    std::string GetValues() const;

    std::string DigestStrToHexStr(std::string_view ansiText);
    // Streams the file; "" when it cannot be opened or read.
    std::string DigestFileToHexStr(const std::string &path);
    // Pairs of upper-case hex digits to bytes; "" for anything else.
    std::string ConvertStringFromHex(std::string_view hex);
    // The 16 raw digest bytes, one character each.
    std::string DigestString(std::string_view ansiText);
    std::array<std::uint8_t, 16> DigestAsByteArray(std::string_view ansiText);

    // State words as signed decimal text.
    std::string RegisterA() const { return Signed(state_[0]); }
    std::string RegisterB() const { return Signed(state_[1]); }
    std::string RegisterC() const { return Signed(state_[2]); }
    std::string RegisterD() const { return Signed(state_[3]); }

    // `value` rotated left by `bits` mod 32; unchanged when the remainder is 0 or
    // negative (a negative count is no rotation, as with the signed remainder).
    static std::int32_t LongLeftRotate(std::int32_t value, std::int32_t bits);

private:
    static std::string Signed(std::uint32_t word);
    void Digest(std::string_view ansiText);
    void Transform(const std::uint8_t *blocks, std::size_t count);

    std::uint32_t state_[4];
    std::uint64_t byteCount_ = 0;
    std::uint8_t buffer_[64];
};

} // namespace kalmira::crypto
