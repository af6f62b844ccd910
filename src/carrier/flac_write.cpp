// Encoding with libFLAC into memory, then the file is put together: the new
// STREAMINFO and SEEKTABLE from libFLAC, every other block from the input (so
// the vendor string stays the input's; seek points count from the first frame
// and do not move with the metadata), then libFLAC's frames.
#include "carrier/flac_metadata.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace kalmira::carrier {

namespace {

// The encoder's output; it seeks back to fill in STREAMINFO and SEEKTABLE.
struct Output {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    bool outOfMemory = false;
};

FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder *, const FLAC__byte buffer[], std::size_t n, uint32_t,
                                       uint32_t, void *data) {
    auto *o = static_cast<Output *>(data);
    try {
        if (o->bytes.size() < o->at + n) o->bytes.resize(o->at + n);
    } catch (const std::bad_alloc &) {
        o->outOfMemory = true;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    std::memcpy(o->bytes.data() + o->at, buffer, n);
    o->at += n;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder *, FLAC__uint64 offset, void *data) {
    auto *o = static_cast<Output *>(data);
    if (offset > o->bytes.size()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    o->at = static_cast<std::size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder *, FLAC__uint64 *offset, void *data) {
    *offset = static_cast<Output *>(data)->at;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder *e) const { FLAC__stream_encoder_delete(e); }
};
struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata *m) const { FLAC__metadata_object_delete(m); }
};
using SeekTable = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

bool HasSeekTable(const FlacAudio &a) {
    return std::any_of(a.blocks.begin(), a.blocks.end(),
                       [](const FlacMetadataBlock &b) { return b.type == FlacSeekTable; });
}

// A template with the input's number of points: every 10 s where the input
// has as many as that spacing gives (the flac tool's default), else evenly
// spread; and its placeholders.
SeekTable MakeSeekTable(const FlacAudio &a) {
    SeekTable t(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
    if (!t) return t;
    const std::uint32_t points = a.encoding.seekPoints;
    const std::uint64_t tenSeconds = std::uint64_t{10} * a.sampleRate;
    bool ok = true;
    if (points > 0 && a.frames > 0) {
        if (points == (a.frames + tenSeconds - 1) / tenSeconds)
            ok =
                FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(t.get(), tenSeconds, a.frames);
        else
            ok = FLAC__metadata_object_seektable_template_append_spaced_points(t.get(), points, a.frames);
    }
    if (ok && a.encoding.seekPlaceholders > 0)
        ok = FLAC__metadata_object_seektable_template_append_placeholders(t.get(), a.encoding.seekPlaceholders);
    if (ok) ok = FLAC__metadata_object_seektable_template_sort(t.get(), true);
    if (!ok) t.reset();
    return t;
}

struct Settings {
    unsigned level;
    bool exhaustive; // exhaustive model search (flac -e)
    bool final;      // the real file: verified, with its seek table
};

bool Configure(FLAC__StreamEncoder *e, const FlacAudio &a, Settings s, std::uint64_t frames) {
    const unsigned bits = a.bitsPerSample;
    const bool subset = FLAC__format_blocksize_is_subset(a.encoding.blockSize, a.sampleRate) &&
                        FLAC__format_sample_rate_is_subset(a.sampleRate) &&
                        (bits == 8 || bits == 12 || bits == 16 || bits == 20 || bits == 24);
    return FLAC__stream_encoder_set_verify(e, s.final) && FLAC__stream_encoder_set_channels(e, a.channels) &&
           FLAC__stream_encoder_set_bits_per_sample(e, bits) && FLAC__stream_encoder_set_sample_rate(e, a.sampleRate) &&
           FLAC__stream_encoder_set_compression_level(e, s.level) &&
           FLAC__stream_encoder_set_do_exhaustive_model_search(e, s.exhaustive) &&
           FLAC__stream_encoder_set_blocksize(e, a.encoding.blockSize) &&
           FLAC__stream_encoder_set_streamable_subset(e, subset) &&
           FLAC__stream_encoder_set_total_samples_estimate(e, frames);
}

// Encodes the first `frames` samples per channel.
CodecProblem Encode(const FlacAudio &a, Settings s, std::uint64_t frames, Output &out) {
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> e(FLAC__stream_encoder_new());
    if (!e || !Configure(e.get(), a, s, frames)) return CodecProblem::TooLarge;
    SeekTable table;
    if (s.final && HasSeekTable(a)) {
        table = MakeSeekTable(a);
        FLAC__StreamMetadata *list[1] = {table.get()};
        if (!table || !FLAC__stream_encoder_set_metadata(e.get(), list, 1)) return CodecProblem::TooLarge;
    }
    if (FLAC__stream_encoder_init_stream(e.get(), OnWrite, OnSeek, OnTell, nullptr, &out) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        return CodecProblem::Unsupported;
    bool ok = true;
    constexpr std::uint64_t kFramesPerCall = 1 << 16;
    for (std::uint64_t f = 0; ok && f < frames; f += kFramesPerCall) {
        const auto n = static_cast<uint32_t>(std::min(kFramesPerCall, frames - f));
        ok = FLAC__stream_encoder_process_interleaved(e.get(), a.samples.data() + f * a.channels, n);
    }
    ok = FLAC__stream_encoder_finish(e.get()) && ok;
    if (out.outOfMemory) return CodecProblem::TooLarge;
    return ok ? CodecProblem::None : CodecProblem::WriteFailed;
}

// The estimated level, unless the input's first seconds came out more than
// about one per cent smaller than with it: then level 8, then level 8 with
// exhaustive search (which finds what some encoders find on simple signals),
// the smallest of those tried.
Settings Choose(const FlacAudio &a) {
    const FlacEncoding &enc = a.encoding;
    const Settings tries[] = {{enc.compressionLevel, false, true}, {8, false, true}, {8, true, true}};
    Settings best = tries[0];
    if (enc.trialFrames == 0 || enc.trialFrames > a.frames) return best;
    const std::uint64_t target = enc.trialBytes + enc.trialBytes / 100 + 16;
    std::uint64_t bestBytes = UINT64_MAX;
    for (const Settings &s : tries) {
        if (&s != tries && s.level == tries[0].level && !s.exhaustive) continue;
        Output trial;
        flac::Scan scan;
        if (Encode(a, {s.level, s.exhaustive, false}, enc.trialFrames, trial) != CodecProblem::None ||
            flac::ScanMetadata(trial.bytes, scan) != CodecProblem::None)
            break;
        const std::uint64_t bytes = trial.bytes.size() - scan.framesBegin;
        if (bytes < bestBytes) {
            best = s;
            bestBytes = bytes;
        }
        if (bytes <= target) break;
    }
    return best;
}

// Marker, STREAMINFO and the input's blocks, SEEKTABLE taken from `encoded`.
void Head(const FlacAudio &a, std::span<const std::uint8_t> encoded, const flac::Scan &scan,
          std::vector<std::uint8_t> &head) {
    std::span<const std::uint8_t> seekTable;
    for (const flac::BlockRef &b : scan.blocks)
        if (b.type == FlacSeekTable) seekTable = encoded.subspan(b.offset, b.length);
    head.insert(head.end(), a.leadingTag.begin(), a.leadingTag.end());
    head.insert(head.end(), {'f', 'L', 'a', 'C'});
    std::vector<const FlacMetadataBlock *> blocks;
    for (const FlacMetadataBlock &b : a.blocks)
        if (b.type != FlacSeekTable || !seekTable.empty()) blocks.push_back(&b);
    const flac::BlockRef &info = scan.blocks[0];
    flac::PutBlockHeader(head, FlacStreamInfo, blocks.empty(), info.length);
    head.insert(head.end(), encoded.begin() + info.offset, encoded.begin() + info.offset + info.length);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::span<const std::uint8_t> data = blocks[i]->type == FlacSeekTable ? seekTable : blocks[i]->data;
        flac::PutBlockHeader(head, blocks[i]->type, i + 1 == blocks.size(), data.size());
        head.insert(head.end(), data.begin(), data.end());
    }
}

} // namespace

CodecProblem WriteFlac(const FlacAudio &a, ByteSink &sink) {
    if (a.channels == 0 || a.samples.size() != a.frames * a.channels) return CodecProblem::InvalidChange;
    Output out;
    try {
        if (CodecProblem e = Encode(a, Choose(a), a.frames, out); e != CodecProblem::None) return e;
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    flac::Scan scan;
    std::vector<std::uint8_t> head;
    try {
        if (flac::ScanMetadata(out.bytes, scan) != CodecProblem::None) return CodecProblem::WriteFailed;
        Head(a, out.bytes, scan, head);
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    const std::span<const std::uint8_t> frames = std::span<const std::uint8_t>(out.bytes).subspan(scan.framesBegin);
    if (!sink.write(head.data(), head.size()) || !sink.write(frames.data(), frames.size()) ||
        !sink.write(a.trailingTag.data(), a.trailingTag.size()))
        return CodecProblem::WriteFailed;
    return CodecProblem::None;
}

CodecProblem WriteFlacFile(const FlacAudio &audio, const std::string &path) {
    return WriteToPath(path, [&](ByteSink &sink) { return WriteFlac(audio, sink); });
}

} // namespace kalmira::carrier
