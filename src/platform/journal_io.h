// Internals shared by the journal's writer and its recovery (not an interface).
#pragma once

#include "platform/journal.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::platform::journal_io {

inline constexpr const char *kJournalSuffix = ".kalmira-journal";
inline constexpr std::size_t kBlock = 1 << 20;
inline constexpr std::size_t kMaxRegions = 1 << 20;
inline constexpr std::size_t kHeaderBytes = 56;
inline constexpr std::int64_t kFingerprintBudget = 64 * 1024;
inline constexpr std::size_t kRegionBytes = 16;
inline constexpr std::size_t kTrailerBytes = 24;

struct Fd {
    int fd = -1;
    ~Fd() { if (fd >= 0) ::close(fd); }
};

struct Checksum {
    Checksum();
    void add(const void *data, std::size_t n);
    std::uint32_t crc;
    std::uint32_t adler;
};

struct JournalHeader {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t carrierSize = 0;
    std::int64_t dataBytes = 0;
    std::uint32_t fingerprintBytes = 0; // how many untouched bytes were summed
    std::uint32_t fingerprintCrc = 0;
    std::vector<JournalRegion> regions;
};

// CRC-32 of the first kFingerprintBudget carrier bytes outside every region,
// which no journaled write changes. False when the carrier cannot be read.
bool Fingerprint(int carrierFd, const JournalHeader &h, std::uint32_t &bytes, std::uint32_t &crc);

std::string EncodeHeader(const JournalHeader &h);
std::string EncodeTrailer(std::uint64_t journalLength, const Checksum &sum);

bool WriteAll(int fd, const void *data, std::size_t n);
bool ReadAt(int fd, void *data, std::size_t n, std::int64_t offset);

// "dir/" of "dir/name" ("" for a bare name) and "name".
std::string FolderOf(const std::string &path);
std::string NameOf(const std::string &path);
bool FlushFolder(const std::string &folder);

// Validates the journal open at journalFd and puts its bytes back into the
// carrier; removes the journal when done or when it is invalid.
RecoverResult RollBackFrom(int journalFd, const std::string &carrierPath);

// True when the journal beside the carrier has a sound header naming another
// file (read without the checksums, so cheap under a shared lock).
bool JournalOfAnotherFile(const std::string &carrierPath);

} // namespace kalmira::platform::journal_io
