// Writes the seed corpora of all fuzz targets into the folder given as the
// only argument: real carriers made by the hide engine (plain, RC4, AES, file
// and message), WAV and BMP files, compressed streams and small pictures.
#include "carriers.h"
#include "hide/hide_engine.h"
#include "run_fakes.h"
#include "seed_images.h"

#include <QBuffer>
#include <QImage>

#include <filesystem>
#include <iostream>

using namespace kalmira;
using namespace kalmira::test;

namespace {

std::string g_root;

void Seed(const std::string &target, const std::string &name, const std::vector<std::uint8_t> &bytes) {
    std::filesystem::create_directories(g_root + "/" + target);
    WriteAll(g_root + "/" + target + "/" + name, bytes);
}

// Payload form of a carrier (see CarrierFromInput): layout byte 0, then the
// header and data bytes as the carrier holds them.
std::vector<std::uint8_t> PayloadForm(const std::vector<std::uint8_t> &carrier) {
    const auto h = HeaderOf(carrier);
    const std::size_t n = h.dataLength ? static_cast<std::size_t>(*h.dataLength) : 0;
    std::vector<std::uint8_t> out(1 + payload::kHeaderSize + n, 0);
    payload::ReadBytes(carrier.data() + payload::kHeaderOffset, payload::kHeaderSize + n, out.data() + 1);
    return out;
}

std::vector<std::uint8_t> Text(const std::string &s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Encoded(const QImage &img, const char *format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return {bytes.begin(), bytes.end()};
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds FOLDER\n";
        return 2;
    }
    g_root = argv[1];
    TempDir dir;
    FakeMessages messages;
    FakePasswords passwords;
    FakeHideProgress view;
    hide::HideEngine engine(KeepBackups());
    const auto plain = Text("Treffpunkt morgen um acht am alten Bahnhof. Treffpunkt morgen um acht.\n");
    const auto packed = Compressed(dir, plain);

    int k = 0;
    for (payload::Mode mode : {payload::Mode::Plain, payload::Mode::Rc4, payload::Mode::Aes}) {
        // KalmiraB: a file.
        std::vector<std::uint8_t> data = packed;
        hide::FileHideInput in;
        in.carrierPath = dir.file("c.bmp");
        in.sourcePath = dir.file("notiz.txt");
        in.nameField = *payload::NameField("notiz.txt");
        in.encrypt = mode != payload::Mode::Plain;
        in.cipher = mode;
        WriteAll(in.carrierPath, MakeBmp(64, 8));
        passwords.hide = {Padded("geheim")};
        if (HideAsWindow(engine, view, passwords, in, data).outcome != hide::HideOutcome::Written) return 1;
        const auto carrier = ReadAll(in.carrierPath);
        Seed("extract_file", "file" + std::to_string(k), PayloadForm(carrier));
        // KalmiraA: a typed message.
        hide::MessageHideInput msg;
        msg.carrierPath = dir.file("c.wav");
        msg.messageAnsi = std::string(plain.begin(), plain.end());
        msg.encrypt = in.encrypt;
        msg.cipher = mode;
        WriteAll(msg.carrierPath, MakeWav(4096, 1, 8000, 8));
        passwords.hide = {Padded("geheim")};
        if (HideAsWindow(engine, view, passwords, msg).outcome != hide::HideOutcome::Written) return 1;
        Seed("extract_message", "msg" + std::to_string(k), PayloadForm(ReadAll(msg.carrierPath)));
        ++k;
    }
    // One raw carrier each, and a carrier without payload.
    {
        auto raw = ReadAll(dir.file("c.bmp"));
        raw.insert(raw.begin(), 0x01);
        Seed("extract_file", "raw", raw);
        auto none = MakeBmp(16, 16);
        none.insert(none.begin(), 0x01);
        Seed("extract_message", "none", none);
    }

    Seed("wav", "pcm16", MakeWav(64, 2, 44100, 16));
    Seed("wav", "pcm8", MakeWav(32, 1, 8000, 8));
    {
        auto odd = MakeWav(33, 1, 8000, 8);
        const auto list = Text("LIST\x05\x00\x00\x00INFOx");
        odd.insert(odd.begin() + 12, list.begin(), list.end());
        Seed("wav", "list", odd);
    }

    Seed("bmp_info", "rgb24", MakeBmp(4, 3));
    Seed("bmp_info", "pal8", PaletteBmp(4, 2, 8, 0, {0x000000, 0xFFFFFF}, std::vector<std::uint8_t>(8, 1)));

    Seed("decomp", "stream", [&] {
        auto v = packed;
        v.insert(v.begin(), 0x00);
        return v;
    }());
    Seed("decomp", "roundtrip", [&] {
        auto v = plain;
        v.insert(v.begin(), 0x0D);
        return v;
    }());

    Seed("convert", "rle8", PaletteBmp(4, 2, 8, 1, {0x000000, 0xFF0000}, {4, 1, 0, 0, 4, 0, 0, 1}));
    Seed("convert", "rle4", PaletteBmp(4, 2, 4, 2, {0x000000, 0x00FF00}, {4, 0x10, 0, 0, 4, 0x01, 0, 1}));
    Seed("convert", "pal8", PaletteBmp(5, 3, 8, 0, {0x112233, 0x445566}, std::vector<std::uint8_t>(24, 1)));
    Seed("convert", "gif", MakeGif(3, 2, {0xFF0000, 0x0000FF}, {0, 1, 0, 1, 0, 1}));
    Seed("convert", "wmf", MakeWmf(20, 10, 2, 2, 12, 8, 0x00FF00));
    QImage img(7, 5, QImage::Format_RGB32);
    img.fill(0x336699);
    Seed("convert", "png", Encoded(img, "PNG"));
    Seed("convert", "jpg", Encoded(img, "JPG"));
    Seed("convert", "bmp24", MakeBmp(5, 3));
    std::cout << "seeds written to " << g_root << "\n";
    return 0;
}
