#include "seed_images.h"

namespace kalmira::test {

namespace {
void put16(std::vector<std::uint8_t> &v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t> &v, std::uint32_t x) {
    put16(v, x);
    put16(v, x >> 16);
}
// COLORREF order: 0x00BBGGRR.
std::uint32_t colorref(std::uint32_t rgb) { return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF); }
} // namespace

std::vector<std::uint8_t> PaletteBmp(int width, int height, int bits, int compression,
                                     const std::vector<std::uint32_t> &palette, const std::vector<std::uint8_t> &data) {
    std::vector<std::uint8_t> v;
    const auto offset = static_cast<std::uint32_t>(54 + 4 * palette.size());
    v.push_back('B');
    v.push_back('M');
    put32(v, offset + static_cast<std::uint32_t>(data.size()));
    put32(v, 0);
    put32(v, offset);
    put32(v, 40);
    put32(v, static_cast<std::uint32_t>(width));
    put32(v, static_cast<std::uint32_t>(height));
    put16(v, 1);
    put16(v, static_cast<std::uint32_t>(bits));
    put32(v, static_cast<std::uint32_t>(compression));
    put32(v, static_cast<std::uint32_t>(data.size()));
    put32(v, 2835);
    put32(v, 2835);
    put32(v, static_cast<std::uint32_t>(palette.size()));
    put32(v, 0);
    for (std::uint32_t c : palette) put32(v, c);
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

std::vector<std::uint8_t> MakeGif(int width, int height, const std::vector<std::uint32_t> &palette,
                                  const std::vector<std::uint8_t> &indices) {
    std::vector<std::uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
    put16(v, static_cast<std::uint32_t>(width));
    put16(v, static_cast<std::uint32_t>(height));
    v.push_back(0xF7); // global table of 256 entries
    v.push_back(0);
    v.push_back(0);
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t c = i < static_cast<int>(palette.size()) ? palette[i] : 0;
        v.push_back(static_cast<std::uint8_t>(c >> 16));
        v.push_back(static_cast<std::uint8_t>(c >> 8));
        v.push_back(static_cast<std::uint8_t>(c));
    }
    v.push_back(0x2C);
    put16(v, 0);
    put16(v, 0);
    put16(v, static_cast<std::uint32_t>(width));
    put16(v, static_cast<std::uint32_t>(height));
    v.push_back(0);
    v.push_back(8); // minimum code size

    // 9-bit codes only: a clear code before the table could outgrow 9 bits.
    std::vector<std::uint8_t> bits;
    std::uint32_t acc = 0;
    int n = 0;
    auto emit = [&](std::uint32_t code) {
        acc |= code << n;
        n += 9;
        while (n >= 8) {
            bits.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            n -= 8;
        }
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 200 == 0) emit(256);
        emit(indices[i]);
    }
    emit(257);
    if (n > 0) bits.push_back(static_cast<std::uint8_t>(acc));
    for (std::size_t at = 0; at < bits.size(); at += 255) {
        const std::size_t len = std::min<std::size_t>(255, bits.size() - at);
        v.push_back(static_cast<std::uint8_t>(len));
        v.insert(v.end(), bits.begin() + static_cast<long>(at), bits.begin() + static_cast<long>(at + len));
    }
    v.push_back(0);
    v.push_back(0x3B);
    return v;
}

std::vector<std::uint8_t> MakeWmf(int width, int height, int left, int top, int right, int bottom,
                                  std::uint32_t colour) {
    std::vector<std::uint8_t> records;
    auto record = [&](std::uint16_t function, std::vector<std::uint16_t> params) {
        put32(records, static_cast<std::uint32_t>(3 + params.size()));
        put16(records, function);
        for (auto p : params) put16(records, p);
    };
    auto u16 = [](int x) { return static_cast<std::uint16_t>(x); };
    auto brush = [&](std::uint32_t rgb) {
        const std::uint32_t c = colorref(rgb);
        record(0x02FC, {0, u16(c & 0xFFFF), u16(c >> 16), 0}); // CreateBrushIndirect, solid
    };
    record(0x020B, {0, 0});                    // SetWindowOrg
    record(0x020C, {u16(height), u16(width)}); // SetWindowExt
    record(0x02FA, {5, 0, 0, 0, 0});           // CreatePenIndirect, null pen -> 0
    record(0x012D, {0});                       // SelectObject
    brush(0xFFFFFF);                           // -> 1
    record(0x012D, {1});
    record(0x041B, {u16(height), u16(width), 0, 0}); // Rectangle (bottom, right, top, left)
    record(0x01F0, {1});                             // DeleteObject
    brush(colour);                                   // -> 1 again
    record(0x012D, {1});
    record(0x041B, {u16(bottom), u16(right), u16(top), u16(left)});
    record(0x0000, {}); // EOF

    std::vector<std::uint8_t> v;
    put32(v, 0x9AC6CDD7u);
    put16(v, 0);
    put16(v, 0);
    put16(v, 0);
    put16(v, static_cast<std::uint32_t>(width));
    put16(v, static_cast<std::uint32_t>(height));
    put16(v, 96);
    put32(v, 0);
    std::uint16_t sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= static_cast<std::uint16_t>(v[i] | (v[i + 1] << 8));
    put16(v, sum);
    put16(v, 1);
    put16(v, 9);
    put16(v, 0x0300);
    put32(v, static_cast<std::uint32_t>(9 + records.size() / 2));
    put16(v, 2);
    put32(v, 8); // largest record in words
    put16(v, 0);
    v.insert(v.end(), records.begin(), records.end());
    return v;
}

} // namespace kalmira::test
