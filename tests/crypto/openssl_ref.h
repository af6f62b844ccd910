// OpenSSL as an independent reference for the cross-checks (tests only).
#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kalmira::test {

inline std::vector<std::uint8_t> Bytes(const std::string &hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string Hex(const std::uint8_t *p, std::size_t n) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += {d[p[i] >> 4], d[p[i] & 15]};
    return s;
}
inline std::string Hex(const std::vector<std::uint8_t> &v) { return Hex(v.data(), v.size()); }

inline std::string OpensslMd5Hex(const std::uint8_t *p, std::size_t n) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(p, n, md, &len, EVP_md5(), nullptr);
    return Hex(md, len);
}

// nullopt when the cipher is not available (RC4 needs the legacy provider).
inline std::optional<std::vector<std::uint8_t>> OpensslEncrypt(const char *name, const std::vector<std::uint8_t> &key,
                                                               const std::vector<std::uint8_t> &in) {
    static OSSL_PROVIDER *providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
    (void)providers;
    EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (!cipher) return std::nullopt;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    std::vector<std::uint8_t> out(in.size() + 32);
    int len = 0, fin = 0;
    bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, 1) == 1 &&
              EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
              EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), nullptr, -1) == 1;
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    ok = ok && EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size())) == 1 &&
         EVP_CipherFinal_ex(ctx, out.data() + len, &fin) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    if (!ok) return std::nullopt;
    out.resize(static_cast<std::size_t>(len + fin));
    return out;
}

} // namespace kalmira::test
