// FLAC recordings as carriers: decoded whole into int32 samples, changed by
// the format engine, encoded again losslessly with libFLAC.
//
// Taken: 8 to 24 bits per sample, any channel count, constant parameters.
// Kept: every metadata block after STREAMINFO (VORBIS_COMMENT with its
// vendor string, PICTURE, CUESHEET, APPLICATION, PADDING, unknown types)
// byte for byte in its place, an ID3v2 tag in front and an ID3v1 tag behind.
// Made new: STREAMINFO (frame sizes, MD5 of the new samples) and SEEKTABLE
// (the same spacing and placeholders for the new frames).
#pragma once

#include "carrier/codec_common.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kalmira::carrier {

enum FlacBlockType : std::uint8_t {
    FlacStreamInfo = 0,
    FlacPadding = 1,
    FlacApplication = 2,
    FlacSeekTable = 3,
    FlacVorbisComment = 4,
    FlacCueSheet = 5,
    FlacPicture = 6,
};

struct FlacBlockFact {
    std::uint8_t type = 0;
    std::uint32_t length = 0;
};

// The facts `kalmira info` shows, from the headers alone.
struct FlacFacts {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::uint32_t bitsPerSample = 0;
    std::uint64_t totalSamples = 0; // per channel; 0: not stated
    double seconds = 0;
    std::uint32_t minBlockSize = 0;
    std::uint32_t maxBlockSize = 0;
    std::vector<FlacBlockFact> blocks; // metadata blocks in file order, STREAMINFO first
    std::uint32_t vorbisComments = 0;  // "NAME=value" entries of the VORBIS_COMMENT block
    std::uint64_t audioBytes = 0;      // the frames, without metadata and tags
};

struct FlacMetadataBlock {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> data; // empty for SEEKTABLE: made new when writing
};

// How the input was encoded, for an output of about its size.
struct FlacEncoding {
    unsigned compressionLevel = 5; // estimated from the predictors of the frames
    unsigned blockSize = 4096;
    // The input's frames up to about six seconds: how many samples per
    // channel, and their bytes. The writer tries settings on them.
    std::uint64_t trialFrames = 0;
    std::uint64_t trialBytes = 0;
    std::uint32_t seekPoints = 0; // real points of the input's SEEKTABLE
    std::uint32_t seekPlaceholders = 0;
};

struct FlacAudio {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::uint32_t bitsPerSample = 0;
    std::uint64_t frames = 0;          // samples per channel
    std::vector<std::int32_t> samples; // frames x channels, interleaved
    // Low bits that are zero in every sample: the recording's effective
    // resolution is bitsPerSample - wastedBits.
    std::uint32_t wastedBits = 0;
    std::vector<FlacMetadataBlock> blocks; // after STREAMINFO, in file order
    std::vector<std::uint8_t> leadingTag;  // ID3v2
    std::vector<std::uint8_t> trailingTag; // ID3v1
    FlacEncoding encoding;

    std::int32_t minSample() const { return -(std::int32_t{1} << (bitsPerSample - 1)); }
    std::int32_t maxSample() const { return (std::int32_t{1} << (bitsPerSample - 1)) - 1; }
    // Whether sample `element` stays in range with `delta` added.
    bool changeAllowed(std::uint64_t element, std::int32_t delta) const;
};

CodecProblem ReadFlacFacts(std::span<const std::uint8_t> file, FlacFacts &facts);

// Decodes a FLAC held in memory. `memoryLimit` bounds the bytes allocated for
// the samples and the kept blocks; TooLarge before allocating beyond it.
// Damaged frames, a wrong MD5 and missing samples are refused.
CodecProblem ReadFlac(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, FlacAudio &audio);
// The same from a file; the file's bytes count against the limit too.
CodecProblem ReadFlacFile(const std::string &path, std::uint64_t memoryLimit, FlacAudio &audio);

// Applies a sorted change list; InvalidChange, with nothing changed, when an
// element is out of range or repeated, or a sample would leave its range.
CodecProblem ApplyChanges(FlacAudio &audio, std::span<const ElementChange> changes);

// Encodes the recording (libFLAC verifies its own output while encoding).
CodecProblem WriteFlac(const FlacAudio &audio, ByteSink &sink);
CodecProblem WriteFlacFile(const FlacAudio &audio, const std::string &path);

} // namespace kalmira::carrier
