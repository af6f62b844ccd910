// Payloads of many blocks: the split both sides agree on, and the blocks
// embedded on all cores.
#include "stealth/stc.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace kalmira::stealth::stc {
namespace {

// floor(a * b / c) without overflow for any sizes.
std::size_t Scale(std::size_t a, std::size_t b, std::size_t c) {
    return static_cast<std::size_t>(static_cast<unsigned __int128>(a) * b / c);
}

bool ValidParams(const Params &p, std::size_t n, std::size_t m) {
    return p.height >= kMinHeight && p.height <= kMaxHeight && p.maxLength > 0 && p.maxLength <= kMaxBlockLength &&
           m <= n;
}

// Runs work(b, embedder) for every block on up to `threads` threads, each
// with its own embedder. An exception in any thread stops the others and is
// rethrown here.
template <class Work>
void RunBlocks(std::size_t blocks, unsigned threads, Path path, const Work &work) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr error;
    std::mutex errorLock;
    auto worker = [&] {
        try {
            Embedder embedder(path);
            for (std::size_t b; (b = next.fetch_add(1)) < blocks;) work(b, embedder);
        } catch (...) {
            next = blocks;
            const std::lock_guard lock(errorLock);
            if (!error) error = std::current_exception();
        }
    };
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t extra = std::min<std::size_t>(threads, blocks) - (blocks ? 1 : 0);
    std::vector<std::thread> pool;
    pool.reserve(extra);
    for (std::size_t i = 0; i < extra; ++i) pool.emplace_back(worker);
    worker();
    for (auto &t : pool) t.join();
    if (error) std::rethrow_exception(error);
}

} // namespace

std::vector<Block> Partition(std::size_t n, std::size_t m, std::size_t maxLength) {
    std::vector<Block> blocks;
    if (n == 0 || maxLength == 0 || m > n) return blocks;
    const std::size_t count = (n - 1) / maxLength + 1;
    blocks.resize(count);
    for (std::size_t b = 0; b < count; ++b) {
        Block &k = blocks[b];
        k.first = Scale(b, n, count);
        k.length = Scale(b + 1, n, count) - k.first;
        // Bits follow the elements (floor(m * first / n)), so no block gets
        // more bits than elements.
        k.firstBit = Scale(m, k.first, n);
        k.bits = Scale(m, k.first + k.length, n) - k.firstBit;
    }
    return blocks;
}

EmbedResult EmbedAll(const Params &params, std::span<const std::uint8_t> parities, std::span<const float> costs,
                     std::span<const std::uint8_t> message, std::span<std::uint8_t> stego, unsigned threads,
                     Path path) {
    const std::size_t n = parities.size();
    auto cover = [&] {
        std::transform(parities.begin(), parities.end(), stego.begin(),
                       [](std::uint8_t p) { return static_cast<std::uint8_t>(p & 1); });
    };
    if (stego.size() != n) return {};
    cover();
    if (!ValidParams(params, n, message.size()) || costs.size() != n) return {};
    const std::vector<Block> blocks = Partition(n, message.size(), params.maxLength);
    std::vector<EmbedResult> results(blocks.size());
    RunBlocks(blocks.size(), threads, path, [&](std::size_t b, Embedder &embedder) {
        const Block &k = blocks[b];
        const auto code = Code::Make(k.length, k.bits, params.height);
        results[b] = embedder.embed(*code, parities.subspan(k.first, k.length), costs.subspan(k.first, k.length),
                                    message.subspan(k.firstBit, k.bits), stego.subspan(k.first, k.length));
    });

    EmbedResult total;
    total.status = Status::Ok;
    for (std::size_t b = 0; b < results.size(); ++b) {
        if (results[b].status != Status::Ok) {
            cover();
            results[b].block = b;
            results[b].cost = 0;
            results[b].changes = 0;
            return results[b];
        }
        total.cost += results[b].cost;
        total.changes += results[b].changes;
    }
    return total;
}

bool ExtractAll(const Params &params, std::span<const std::uint8_t> parities, std::span<std::uint8_t> message) {
    if (!ValidParams(params, parities.size(), message.size())) return false;
    for (const Block &k : Partition(parities.size(), message.size(), params.maxLength)) {
        const auto code = Code::Make(k.length, k.bits, params.height);
        Extract(*code, parities.subspan(k.first, k.length), message.subspan(k.firstBit, k.bits));
    }
    return true;
}

} // namespace kalmira::stealth::stc
