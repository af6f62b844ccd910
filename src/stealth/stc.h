// Syndrome-trellis codes (Filler, Judas, Fridrich 2011): m message bits are
// carried as the syndrome H*y of the parities y of n carrier elements. The
// sender changes the parities of a set of elements of least total cost such
// that H*y = message; the receiver needs only the parities. H is banded: per
// message bit an h x w submatrix H_hat, one row further down each time, the
// widths w adding up to n. docs/stc.md gives the construction bit for bit.
//
// The coder sees plain arrays in the order the caller chose (the format
// permutes the carrier first). One bit per byte everywhere: only the lowest
// bit of a parity or message byte counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kalmira::stealth::stc {

inline constexpr int kMinHeight = 1;
inline constexpr int kMaxHeight = 12;
// Constraint height: the best coding loss the speed floor allows (7 million
// elements per second and core; 13 with AVX2, 21 with AVX-512), within 10 %
// of the bound at half rate, 11 to 19 % at lower rates; h = 9 would double
// the speed for 1.5 to 3 points more loss (bench/stealth/stc_bench.cpp).
inline constexpr int kDefaultHeight = 10;
// Elements per block that Partition() aims below: path memory n * 2^h / 8
// bytes (4 MiB at h = 10), and no measurable coding loss against longer ones.
inline constexpr std::size_t kDefaultBlockLength = std::size_t{1} << 15;
inline constexpr std::size_t kMaxBlockLength = std::size_t{1} << 20;
// Cost of an element that must never change.
inline constexpr float kWet = std::numeric_limits<float>::infinity();
// Finite costs lie in [0, kMaxCost]: sums over a block stay finite, so a
// feasible block is never reported as infeasible.
inline constexpr float kMaxCost = 1e30f;

// H_hat for constraint height h and width w: candidate k of the column
// stream for (h, w) (docs/stc.md); Make() takes the candidate of
// ChosenCandidate(). Empty outside [kMinHeight, kMaxHeight] or for w = 0.
std::vector<std::uint32_t> Submatrix(int h, std::size_t w, std::uint32_t k);
// The candidate with the least coding loss among those tried for (h, w)
// (stc_bench --search); 0 where none were tried.
std::uint32_t ChosenCandidate(int h, std::size_t w);

// One block: n elements carrying m <= n bits with constraint height h.
class Code {
public:
    // Empty when n > kMaxBlockLength, m > n or h outside [kMinHeight, kMaxHeight].
    // `candidate` overrides the chosen submatrices (for the search).
    static std::optional<Code> Make(std::size_t n, std::size_t m, int h,
                                    std::optional<std::uint32_t> candidate = std::nullopt);

    std::size_t length() const { return n_; }
    std::size_t bits() const { return m_; }
    int height() const { return h_; }
    // Message bit i is fed by the columns [start(i), start(i + 1)). The
    // first also by head() more: only its columns reach row 0, and wet
    // elements there would make every block with their syndrome bit wrong
    // infeasible. The others split the rest, floor(n'/m) or ceil(n'/m) each.
    std::size_t head() const { return head_; }
    std::size_t start(std::size_t i) const {
        return i == 0 ? 0 : head_ + static_cast<std::size_t>(std::uint64_t{i} * (n_ - head_) / m_);
    }
    // The columns of a block of that width; bit r of a column is its entry in
    // row r of the block's window.
    const std::uint32_t *submatrix(std::size_t width) const {
        return columns_.data() + (width == narrow_ ? 0 : width == narrow_ + 1 ? narrow_ : 2 * narrow_ + 1);
    }
    // The rows of block i's window that exist (the last h - 1 blocks lose some).
    std::uint32_t rowMask(std::size_t i) const {
        return m_ - i >= static_cast<std::size_t>(h_) ? (std::uint32_t{1} << h_) - 1
                                                      : (std::uint32_t{1} << (m_ - i)) - 1;
    }

private:
    Code(std::size_t n, std::size_t m, int h, std::size_t head, std::size_t narrow, std::vector<std::uint32_t> columns)
        : n_(n), m_(m), h_(h), head_(head), narrow_(narrow), columns_(std::move(columns)) {}
    std::size_t n_, m_;
    int h_;
    std::size_t head_, narrow_; // narrow = floor((n - head) / m)
    // H_hat of the widths narrow, narrow + 1 and that of the first block
    std::vector<std::uint32_t> columns_;
};

// The implementations of the trellis; all give identical results.
enum class Path {
    Portable, // plain C++, any processor
    Sse2,     // x86-64, 4 states per instruction (h >= 3)
    Avx2,     // x86-64 with AVX2, 8 states per instruction (h >= 4)
    Avx512,   // x86-64 with AVX-512F, 16 states per instruction (h >= 5)
};
bool PathAvailable(Path path);
Path FastestPath(); // chosen once at run time

enum class Status {
    Ok,
    Infeasible,   // no change of the dry elements yields the message
    InvalidInput, // sizes do not match the code, or a cost is NaN, negative or above kMaxCost
};

struct EmbedResult {
    Status status = Status::InvalidInput;
    double cost = 0;         // sum of the costs of the changed elements
    std::size_t changes = 0; // elements whose parity changed
    std::size_t block = 0;   // EmbedAll(): the first block that failed
};

// Embeds blocks one after another, reusing its memory (the path bits of the
// last block, n * max(1, 2^h / 8) bytes). One per thread.
class Embedder {
public:
    explicit Embedder(Path path = FastestPath());
    ~Embedder();
    Embedder(const Embedder &) = delete;
    Embedder &operator=(const Embedder &) = delete;

    // stego gets the parities of least total cost whose syndrome is the
    // message: change element j iff stego[j] != parities[j] & 1. Wet elements
    // (cost kWet) never change. On anything but Ok stego is the cover
    // parities. All spans hold code.length() elements, message code.bits();
    // stego must not overlap the inputs.
    EmbedResult embed(const Code &code, std::span<const std::uint8_t> parities, std::span<const float> costs,
                      std::span<const std::uint8_t> message, std::span<std::uint8_t> stego);

private:
    struct States;
    Path path_;
    std::vector<std::uint8_t> trail_;  // one bit per state and element: was it changed?
    std::vector<std::uint8_t> target_; // message XOR syndrome of the cover
    std::unique_ptr<States> states_;
};

// The message the parities carry (code.bits() bytes of 0 or 1). False when
// the sizes do not match the code.
bool Extract(const Code &code, std::span<const std::uint8_t> parities, std::span<std::uint8_t> message);

// Payloads longer than a block: n elements split into ceil(n / maxLength)
// blocks of near-equal length, the m bits in proportion (never more bits
// than elements in a block). Sender and receiver must use the same maxLength.
struct Block {
    std::size_t first = 0, length = 0; // elements
    std::size_t firstBit = 0, bits = 0;
};
std::vector<Block> Partition(std::size_t n, std::size_t m, std::size_t maxLength = kDefaultBlockLength);

struct Params {
    int height = kDefaultHeight;
    std::size_t maxLength = kDefaultBlockLength;
};

// The blocks of Partition(parities.size(), message.size(), params.maxLength)
// on `threads` threads (0: one per core). The result does not depend on the
// thread count. On failure stego is the cover parities (if it has their
// size) and `block` names the first block that failed.
EmbedResult EmbedAll(const Params &params, std::span<const std::uint8_t> parities, std::span<const float> costs,
                     std::span<const std::uint8_t> message, std::span<std::uint8_t> stego, unsigned threads = 0,
                     Path path = FastestPath());
// False when params cannot describe message.size() bits in parities.size() elements.
bool ExtractAll(const Params &params, std::span<const std::uint8_t> parities, std::span<std::uint8_t> message);

} // namespace kalmira::stealth::stc
