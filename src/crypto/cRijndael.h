// AES (Rijndael with a 128-bit block, FIPS-197) for 128-, 192- and 256-bit keys,
// on single blocks, byte arrays and files. Blocks are enciphered independently
// (ECB, no IV): every stored AES carrier depends on exactly this.
#pragma once

#include "crypto/CipherError.h"
#include "platform/secure_memory.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kalmira::crypto {

class cRijndael {
public:
    cRijndael();
    // The key schedules do not outlive the cipher.
    ~cRijndael() {
        platform::SecureWipe(encKey_, sizeof encKey_);
        platform::SecureWipe(decKey_, sizeof decKey_);
    }
    cRijndael(const cRijndael &) = default;
    cRijndael &operator=(const cRijndael &) = default;
    // The complaint of the last ArrayDecrypt or FileDecrypt ("" when none), for
    // the caller to show; the cipher itself shows nothing.
    const std::string &lastWarning() const { return warning_; }

    // Uses the first keyBits / 8 bytes of key. CipherError 1 for a key size other
    // than 128, 192 or 256; std::invalid_argument when the key is shorter. Returns 0.
    int SetCipherKey(const std::uint8_t *key, std::size_t keyLen, int keyBits);
    int SetCipherKey(std::span<const std::uint8_t> key, int keyBits) {
        return SetCipherKey(key.data(), key.size(), keyBits);
    }
    // ANSI pass phrase cut or zero-filled to 32 bytes.
    int SetCipherKeyString(std::string_view ansiPassPhrase, int keyBits);

    // One 16-byte block; in and out may be the same memory.
    void BlockEncrypt(const std::uint8_t *in, std::uint8_t *out) const;
    void BlockDecrypt(const std::uint8_t *in, std::uint8_t *out) const;
    // With offsets into arrays (which may be the same); std::out_of_range past an end.
    void BlockEncrypt(const std::vector<std::uint8_t> &src, std::vector<std::uint8_t> &dst, std::size_t srcOffset,
                      std::size_t dstOffset) const;
    void BlockDecrypt(const std::vector<std::uint8_t> &src, std::vector<std::uint8_t> &dst, std::size_t srcOffset,
                      std::size_t dstOffset) const;

    // appendSize 0: ciphertext = plaintext zero-filled to whole blocks. Otherwise
    // one more byte at least: the last block ends in n mod 16. Returns 0.
    int ArrayEncrypt(std::span<const std::uint8_t> plaintext, std::vector<std::uint8_t> &ciphertext, int appendSize);
    int ArrayEncrypt(const std::vector<std::uint8_t> &plaintext, std::vector<std::uint8_t> &ciphertext,
                     int appendSize) {
        return ArrayEncrypt(std::span<const std::uint8_t>(plaintext), ciphertext, appendSize);
    }
    // 0 done; -1 ciphertext not whole blocks (plaintext untouched); 1 with
    // appendSize set and an impossible length byte (all bytes kept).
    int ArrayDecrypt(std::vector<std::uint8_t> &plaintext, std::span<const std::uint8_t> ciphertext, int appendSize);
    int ArrayDecrypt(std::vector<std::uint8_t> &plaintext, const std::vector<std::uint8_t> &ciphertext,
                     int appendSize) {
        return ArrayDecrypt(plaintext, std::span<const std::uint8_t>(ciphertext), appendSize);
    }

    // Whole files in pieces of kFilePiece bytes, laid out as ArrayEncrypt with the
    // size appended. std::runtime_error when a file cannot be read or written.
    int FileEncrypt(const std::string &plainPath, const std::string &cipherPath);
    // 0 done, 1 when the file is empty or not whole blocks (nothing written).
    int FileDecrypt(const std::string &plainPath, const std::string &cipherPath);

    static constexpr std::size_t kFilePiece = 4000000;

    // The AES-NI path gives the same bytes as the table code; it is used when the
    // processor has it unless switched off here.
    void SetHardwareAcceleration(bool enabled);
    bool HardwareAccelerated() const { return useHardware_; }

private:
    void EncryptBlocks(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const;
    void DecryptBlocks(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const;
    void Tell(const std::string &text) { warning_ = text; }

    std::string warning_;
    int rounds_ = 0;
    alignas(16) std::uint32_t encKey_[60] = {};
    alignas(16) std::uint32_t decKey_[60] = {};
    bool useHardware_ = false;
};

} // namespace kalmira::crypto
