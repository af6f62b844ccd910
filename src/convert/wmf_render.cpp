#include "convert/wmf_render.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include "platform/byte_order.h"
#include "platform/child_process.h"
#include "platform/platform.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace kalmira::convert {

namespace {
std::uint32_t le32(const std::vector<std::uint8_t> &b, std::size_t at) { return platform::Le32u(b.data() + at); }
std::uint16_t le16(const std::vector<std::uint8_t> &b, std::size_t at) {
    return static_cast<std::uint16_t>(platform::Le16(b.data() + at));
}

// Releases the API on every path out of RenderWmf.
struct ApiGuard {
    wmfAPI *api = nullptr;
    bool memOpen = false;
    ~ApiGuard() {
        if (!api) return;
        if (memOpen) wmf_mem_close(api);
        wmf_api_destroy(api);
    }
};

// libwmf needs a font for every metafile (its default font is chosen before
// the first record), and looks for the URW Type 1 fonts by default. Where
// those are missing, the 13 standard PostScript names are mapped to the
// DejaVu TrueType faces when they exist.
struct FontSetup {
    std::string dir;
    std::array<wmfMapping, 14> ps{};
    std::array<std::string, 13> names, files;
    char *dirs[2] = {nullptr, nullptr};
    bool use = false;

    FontSetup() {
        auto exists = [](const std::string &p) { return platform::FileExists(p); };
        if (exists("/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1") ||
            exists("/usr/share/fonts/type1/gsfonts/n021003l.pfb"))
            return;
        for (const char *d : {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu", "/usr/share/fonts/TTF"}) {
            if (exists(std::string(d) + "/DejaVuSans.ttf")) {
                dir = d;
                break;
            }
        }
        if (dir.empty()) return;
        const char *map[13][2] = {{"Courier", "DejaVuSansMono"},
                                  {"Courier-Oblique", "DejaVuSansMono-Oblique"},
                                  {"Courier-Bold", "DejaVuSansMono-Bold"},
                                  {"Courier-BoldOblique", "DejaVuSansMono-BoldOblique"},
                                  {"Helvetica", "DejaVuSans"},
                                  {"Helvetica-Oblique", "DejaVuSans-Oblique"},
                                  {"Helvetica-Bold", "DejaVuSans-Bold"},
                                  {"Helvetica-BoldOblique", "DejaVuSans-BoldOblique"},
                                  {"Times-Roman", "DejaVuSerif"},
                                  {"Times-Italic", "DejaVuSerif-Italic"},
                                  {"Times-Bold", "DejaVuSerif-Bold"},
                                  {"Times-BoldItalic", "DejaVuSerif-BoldItalic"},
                                  {"Symbol", "DejaVuSans"}};
        for (std::size_t i = 0; i < 13; ++i) {
            names[i] = map[i][0];
            files[i] = std::string(map[i][1]) + ".ttf";
            if (!exists(dir + "/" + files[i])) files[i] = "DejaVuSans.ttf";
            ps[i].name = names[i].data();
            ps[i].mapping = files[i].data();
            ps[i].encoding = FT_ENCODING_NONE;
        }
        dirs[0] = dir.data();
        use = true;
    }
};

const FontSetup &Fonts() {
    static const FontSetup setup;
    return setup;
}

// A picture larger than this is refused rather than allocated.
constexpr double kMaxPixels = 64.0 * 1024 * 1024;
} // namespace

// libwmf allocates a record buffer of the header's largest-record size before
// it reads a record: a hostile header asks for gigabytes. No record can be
// longer than the file, so such a header marks a damaged metafile.
static bool PlausibleHeader(const std::vector<std::uint8_t> &bytes) {
    const std::size_t at = le32(bytes, 0) == 0x9AC6CDD7u ? 22 : 0;
    if (bytes.size() < at + 18) return false;
    const std::uint64_t maxRecordBytes = 2ull * le32(bytes, at + 12);
    return maxRecordBytes <= bytes.size() - at;
}

bool LooksLikeWmf(const std::vector<std::uint8_t> &bytes) {
    if (bytes.size() >= 22 && le32(bytes, 0) == 0x9AC6CDD7u) return true;
    // Plain header: type 1 (memory) or 2 (disk), header size 9 words, version 0x100/0x300.
    if (bytes.size() < 18) return false;
    const auto type = le16(bytes, 0), words = le16(bytes, 2), version = le16(bytes, 4);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

namespace {

WmfRaster RenderHere(const std::vector<std::uint8_t> &bytes, int width, int height) {
    WmfRaster out;
    std::vector<std::uint8_t> data(bytes); // libwmf reads through a non-const pointer

    ApiGuard g;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    const FontSetup &fonts = Fonts();
    if (fonts.use) {
        flags |= WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP;
        options.fontdirs = const_cast<char **>(fonts.dirs);
        options.font.ps = const_cast<wmfMapping *>(fonts.ps.data());
    }
    if (wmf_api_create(&g.api, flags, &options) != wmf_E_None) {
        g.api = nullptr; // a failed create has already cleaned up after itself
        return out;
    }
    wmf_gd_t *dev = WMF_GD_GetData(g.api);
    dev->type = wmf_gd_image;

    if (wmf_mem_open(g.api, data.data(), static_cast<long>(data.size())) != wmf_E_None) return out;
    g.memOpen = true;
    wmfD_Rect box{};
    if (wmf_scan(g.api, 0, &box) != wmf_E_None) return out;
    unsigned int w = 0, h = 0;
    if (width > 0 && height > 0) {
        w = static_cast<unsigned>(width);
        h = static_cast<unsigned>(height);
    } else if (wmf_display_size(g.api, &w, &h, 96.0, 96.0) != wmf_E_None) {
        return out;
    }
    if (w == 0 || h == 0 || static_cast<double>(w) * h > kMaxPixels) return out;

    dev->bbox = box;
    dev->width = w;
    dev->height = h;
    if (wmf_play(g.api, 0, &box) != wmf_E_None || !dev->gd_image) return out;
    const int *px = wmf_gd_image_pixels(dev->gd_image);
    if (!px) return out;

    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.pixels.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        // gd true colour: 7-bit alpha (0 opaque .. 127 transparent) above RGB.
        const auto p = static_cast<std::uint32_t>(px[i]);
        const std::uint32_t a = 127 - ((p >> 24) & 0x7F);
        std::uint32_t rgb = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const std::uint32_t c = (p >> shift) & 0xFF;
            rgb |= ((c * a + 255 * (127 - a) + 63) / 127) << shift;
        }
        out.pixels[i] = rgb;
    }
    return out;
}

double g_timeLimit = 10.0;

} // namespace

void SetWmfRenderTimeLimit(double seconds) { g_timeLimit = seconds; }

// libwmf is old C code: hostile metafiles can make its drawing loop for
// minutes or crash it, and it keeps the rendered image. It therefore runs in
// a child process that hands back the pixels through a pipe and is killed
// when it takes longer than the time limit.
WmfRaster RenderWmf(const std::vector<std::uint8_t> &bytes, int width, int height) {
    if (!LooksLikeWmf(bytes) || !PlausibleHeader(bytes) ||
        bytes.size() > static_cast<std::size_t>(std::numeric_limits<long>::max()))
        return {};
    Fonts(); // built once in this process, inherited by every child
    platform::ChildProcess child;
    const bool started = child.start(
        [&](const platform::ChildProcess::Writer &answer) {
            const WmfRaster r = RenderHere(bytes, width, height);
            const std::int32_t size[2] = {r.width, r.height};
            return answer(size, sizeof size) && answer(r.pixels.data(), r.pixels.size() * sizeof(std::uint32_t));
        },
        g_timeLimit);
    if (!started) return {};
    WmfRaster out;
    std::int32_t size[2] = {0, 0};
    bool ok = child.read(size, sizeof size) && size[0] > 0 && size[1] > 0 &&
              static_cast<double>(size[0]) * size[1] <= kMaxPixels;
    if (ok) {
        out.pixels.resize(static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]));
        ok = child.read(out.pixels.data(), out.pixels.size() * sizeof(std::uint32_t));
    }
    if (!ok) return {};
    out.width = size[0];
    out.height = size[1];
    return out;
}

} // namespace kalmira::convert
