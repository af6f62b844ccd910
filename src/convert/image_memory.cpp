#include "convert/image_memory.h"

#include "platform/platform.h"

#include <QImageReader>
#include <QString>

#include <algorithm>
#include <mutex>

namespace kalmira::convert {

int ImageMemoryLimitMb(std::uint64_t physicalBytes) {
    const std::uint64_t quarterMb = physicalBytes / 4 / (1024 * 1024);
    return static_cast<int>(std::clamp<std::uint64_t>(quarterMb, 256, 4096));
}

void ApplyImageMemoryLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(ImageMemoryLimitMb(platform::PhysicalMemoryBytes()));
    });
}

std::int64_t DecodedMegabytes(std::int64_t width, std::int64_t height) {
    return (std::max<std::int64_t>(width, 0) * std::max<std::int64_t>(height, 0) * 4 + (1 << 20) - 1) >> 20;
}

std::optional<OversizedPicture> TooLargeToDecode(const std::string &path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    const std::int64_t limit = QImageReader::allocationLimit();
    if (!size.isValid() || limit <= 0) return std::nullopt;
    const std::int64_t needed = DecodedMegabytes(size.width(), size.height());
    if (needed <= limit) return std::nullopt;
    return OversizedPicture{size.width(), size.height(), needed, limit};
}

} // namespace kalmira::convert
