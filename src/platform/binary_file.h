// Random-access binary file with exact reads and writes (no short transfers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalmira::platform {

class BinaryFile {
public:
    enum class Mode {
        Read,
        ReadWrite,
        CreateTruncate
    };

    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    // Without `followLinks` a symbolic link at the path is refused.
    bool open(const std::string &path, Mode mode, bool followLinks = true);
    // The path still names this very file (not a link, not another file).
    bool denotedBy(const std::string &path) const;
    bool truncate(); // to length 0
    bool isOpen() const { return fd_ >= 0; }
    std::int64_t size() const;
    // False unless exactly n bytes were transferred.
    bool readAt(std::int64_t offset, void *buf, std::size_t n) const;
    bool writeAt(std::int64_t offset, const void *buf, std::size_t n);
    bool flush();
    bool close(); // false when closing reported an error

private:
    int fd_ = -1;
};

} // namespace kalmira::platform
