// Throughput as "MB=<n>/s" (10^6 bytes per second of CPU time) of AES-256, RC4 and MD5 on 16 MiB, each next to
// OpenSSL's EVP on the same bytes. Run: build/bin/crypto_bench
#include "crypto/cRijndael.h"
#include "crypto/clsMD5.h"
#include "crypto/clsRC4.h"
#include "crypto/keys.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>
#include <vector>

using namespace kalmira::crypto;

namespace {

constexpr std::size_t kSize = 16 * 1024 * 1024;

const std::vector<std::uint8_t> &Data() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> v(kSize);
        std::mt19937 rng(42);
        for (auto &b : v) b = static_cast<std::uint8_t>(rng());
        return v;
    }();
    return data;
}

const std::string &KeyText() {
    static const std::string key = CipherKeyText(PadPassword("Passwort"));
    return key;
}

const std::uint8_t *KeyBytes() { return reinterpret_cast<const std::uint8_t *>(KeyText().data()); }

void Rate(benchmark::State &state) {
    state.counters["MB"] =
        benchmark::Counter(static_cast<double>(kSize) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void AesKalmira(benchmark::State &state, bool hardware, bool decrypt) {
    cRijndael aes;
    aes.SetHardwareAcceleration(hardware);
    if (hardware && !aes.HardwareAccelerated()) {
        state.SkipWithError("no AES-NI");
        return;
    }
    aes.SetCipherKey(KeyBytes(), 32, 256);
    std::vector<std::uint8_t> cipher, plain;
    aes.ArrayEncrypt(Data(), cipher, 0);
    for (auto _ : state) {
        if (decrypt)
            aes.ArrayDecrypt(plain, cipher, 0);
        else
            aes.ArrayEncrypt(Data(), cipher, 0);
        benchmark::DoNotOptimize(decrypt ? plain.data() : cipher.data());
    }
    Rate(state);
}

// Runs an EVP cipher over the data; false when the cipher is not available.
bool EvpRun(const char *name, bool encrypt, const std::vector<std::uint8_t> &in, std::vector<std::uint8_t> &out) {
    static OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER *deflt = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)deflt;
    EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (!cipher) return false;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    out.resize(in.size() + 32);
    int len = 0, fin = 0;
    bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, encrypt) == 1 &&
              EVP_CIPHER_CTX_set_key_length(ctx, 32) == 1 &&
              EVP_CipherInit_ex(ctx, nullptr, nullptr, KeyBytes(), nullptr, -1) == 1;
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    ok = ok && EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size())) == 1 &&
         EVP_CipherFinal_ex(ctx, out.data() + len, &fin) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    return ok;
}

void AesOpenssl(benchmark::State &state, bool decrypt) {
    std::vector<std::uint8_t> cipher, out;
    EvpRun("AES-256-ECB", true, Data(), cipher);
    cipher.resize(kSize);
    for (auto _ : state) {
        EvpRun("AES-256-ECB", !decrypt, decrypt ? cipher : Data(), out);
        benchmark::DoNotOptimize(out.data());
    }
    Rate(state);
}

void BM_Aes256Encrypt_KalmiraTables(benchmark::State &s) { AesKalmira(s, false, false); }
void BM_Aes256Encrypt_KalmiraAesNi(benchmark::State &s) { AesKalmira(s, true, false); }
void BM_Aes256Encrypt_OpenSSL(benchmark::State &s) { AesOpenssl(s, false); }
void BM_Aes256Decrypt_KalmiraTables(benchmark::State &s) { AesKalmira(s, false, true); }
void BM_Aes256Decrypt_KalmiraAesNi(benchmark::State &s) { AesKalmira(s, true, true); }
void BM_Aes256Decrypt_OpenSSL(benchmark::State &s) { AesOpenssl(s, true); }

void BM_Rc4_Kalmira(benchmark::State &state) {
    clsRC4 rc4;
    std::vector<std::uint8_t> buf = Data();
    for (auto _ : state) {
        rc4.EncryptByte(buf, KeyText());
        benchmark::DoNotOptimize(buf.data());
    }
    Rate(state);
}

void BM_Rc4_OpenSSL(benchmark::State &state) {
    std::vector<std::uint8_t> out;
    if (!EvpRun("RC4", true, Data(), out)) {
        state.SkipWithError("RC4 not available (legacy provider missing)");
        return;
    }
    for (auto _ : state) {
        EvpRun("RC4", true, Data(), out);
        benchmark::DoNotOptimize(out.data());
    }
    Rate(state);
}

void BM_Md5_Kalmira(benchmark::State &state) {
    clsMD5 md5;
    for (auto _ : state) {
        md5.MD5Init();
        md5.MD5Update(Data());
        md5.MD5Final();
        benchmark::DoNotOptimize(md5.GetValues());
    }
    Rate(state);
}

void BM_Md5_OpenSSL(benchmark::State &state) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_Digest(Data().data(), Data().size(), md, &len, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(md);
    }
    Rate(state);
}

} // namespace

BENCHMARK(BM_Aes256Encrypt_KalmiraTables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aes256Encrypt_KalmiraAesNi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aes256Encrypt_OpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aes256Decrypt_KalmiraTables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aes256Decrypt_KalmiraAesNi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aes256Decrypt_OpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rc4_Kalmira)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rc4_OpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5_Kalmira)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5_OpenSSL)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
