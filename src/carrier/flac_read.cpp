// Decoding with libFLAC's stream decoder from memory. The metadata blocks are
// taken from our own walk (flac_metadata.cpp); libFLAC only decodes frames
// and checks frame CRCs and the MD5 of the samples.
#include "carrier/flac_metadata.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <new>

namespace kalmira::carrier {

namespace {

constexpr std::uint64_t kTrialFrames = std::uint64_t{1} << 18;

struct Decoding {
    std::span<const std::uint8_t> input; // what libFLAC sees (no ID3v1 tag)
    std::size_t at = 0;
    FlacAudio *audio = nullptr;
    std::uint64_t sampleBudget = 0; // samples (all channels) the limit, or STREAMINFO, allows
    bool totalStated = false;       // the budget is STREAMINFO's count
    std::uint64_t framesBegin = 0;
    std::uint64_t lastFrameEnd = 0;
    std::uint32_t allBits = 0; // OR of every sample
    CodecProblem problem = CodecProblem::None;
    bool framesAfterError = false;
    // Predictor statistics for the compression level.
    bool anyLpc = false;
    bool stereoDecorrelation = false;
    unsigned maxLpcOrder = 0;
    unsigned maxPartitionOrder = 0;
};

FLAC__StreamDecoderReadStatus OnRead(const FLAC__StreamDecoder *, FLAC__byte buffer[], std::size_t *bytes, void *data) {
    auto *d = static_cast<Decoding *>(data);
    const std::size_t n = std::min(*bytes, d->input.size() - d->at);
    std::copy_n(d->input.data() + d->at, n, buffer);
    d->at += n;
    *bytes = n;
    return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderTellStatus OnTell(const FLAC__StreamDecoder *, FLAC__uint64 *offset, void *data) {
    *offset = static_cast<Decoding *>(data)->at;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

void OnError(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus status, void *data) {
    auto *d = static_cast<Decoding *>(data);
    if (d->problem != CodecProblem::None) return;
    switch (status) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH: d->problem = CodecProblem::ChecksumMismatch; break;
    case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM: d->problem = CodecProblem::Unsupported; break;
    default: d->problem = CodecProblem::Malformed; break;
    }
}

void NoteSubframes(Decoding &d, const FLAC__Frame *frame) {
    if (frame->header.channel_assignment != FLAC__CHANNEL_ASSIGNMENT_INDEPENDENT) d.stereoDecorrelation = true;
    for (unsigned c = 0; c < frame->header.channels; ++c) {
        const FLAC__Subframe &s = frame->subframes[c];
        const FLAC__EntropyCodingMethod *m = nullptr;
        if (s.type == FLAC__SUBFRAME_TYPE_LPC) {
            d.anyLpc = true;
            d.maxLpcOrder = std::max(d.maxLpcOrder, s.data.lpc.order);
            m = &s.data.lpc.entropy_coding_method;
        } else if (s.type == FLAC__SUBFRAME_TYPE_FIXED) {
            m = &s.data.fixed.entropy_coding_method;
        }
        if (m != nullptr) d.maxPartitionOrder = std::max(d.maxPartitionOrder, m->data.partitioned_rice.order);
    }
}

// The frame's samples, interleaved, after checking that they fit.
FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder *decoder, const FLAC__Frame *frame,
                                       const FLAC__int32 *const buffer[], void *data) {
    auto *d = static_cast<Decoding *>(data);
    FlacAudio &a = *d->audio;
    const FLAC__FrameHeader &h = frame->header;
    if (d->problem != CodecProblem::None) {
        d->framesAfterError = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (h.channels != a.channels || h.bits_per_sample != a.bitsPerSample || h.sample_rate != a.sampleRate)
        d->problem = CodecProblem::Unsupported;
    else if (std::uint64_t{h.blocksize} * a.channels > d->sampleBudget - a.samples.size())
        d->problem = d->totalStated ? CodecProblem::Malformed : CodecProblem::TooLarge;
    if (d->problem != CodecProblem::None) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    try {
        if (a.samples.capacity() - a.samples.size() < std::size_t{h.blocksize} * a.channels)
            a.samples.reserve(
                std::min<std::uint64_t>(d->sampleBudget, std::max<std::uint64_t>(a.samples.size() * 2, 1 << 20)));
        for (unsigned i = 0; i < h.blocksize; ++i)
            for (unsigned c = 0; c < h.channels; ++c) {
                a.samples.push_back(buffer[c][i]);
                d->allBits |= static_cast<std::uint32_t>(buffer[c][i]);
            }
    } catch (const std::bad_alloc &) {
        d->problem = CodecProblem::TooLarge;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    NoteSubframes(*d, frame);
    FLAC__uint64 end = 0;
    if (FLAC__stream_decoder_get_decode_position(decoder, &end)) d->lastFrameEnd = end;
    FlacEncoding &e = a.encoding;
    if (e.trialBytes == 0 && a.samples.size() >= kTrialFrames * a.channels) {
        e.trialFrames = a.samples.size() / a.channels;
        e.trialBytes = d->lastFrameEnd - d->framesBegin;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder *d) const { FLAC__stream_decoder_delete(d); }
};

CodecProblem RunDecoder(Decoding &d) {
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder) return CodecProblem::TooLarge;
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    FLAC__stream_decoder_set_metadata_ignore_all(decoder.get());
    if (FLAC__stream_decoder_init_stream(decoder.get(), OnRead, nullptr, OnTell, nullptr, nullptr, OnFrame, nullptr,
                                         OnError, &d) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return CodecProblem::TooLarge;
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder.get());
    const bool md5Ok = FLAC__stream_decoder_finish(decoder.get());
    if (d.problem != CodecProblem::None) return d.problem;
    if (state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR) return CodecProblem::TooLarge;
    if (!decoded) return CodecProblem::Malformed;
    return md5Ok ? CodecProblem::None : CodecProblem::ChecksumMismatch;
}

// libFLAC's levels: 0-2 fixed predictors only (2 with mid/side), 3 LPC up
// to order 6 without mid/side, 4-6 order 8 with 4, 5, 6 partition orders,
// 7-8 order 12.
unsigned EstimateLevel(const Decoding &d) {
    if (!d.anyLpc) return d.stereoDecorrelation ? 2 : 0;
    if (d.maxLpcOrder <= 6 && !d.stereoDecorrelation) return 3;
    if (d.maxLpcOrder <= 8) return d.maxPartitionOrder <= 4 ? 4 : d.maxPartitionOrder == 5 ? 5 : 6;
    return 8;
}

// Whether the bytes after the last whole frame begin a frame (its sync code).
bool CutFrameFollows(const Decoding &d) {
    const std::size_t end = d.lastFrameEnd == 0 ? d.framesBegin : d.lastFrameEnd;
    return d.input.size() - end >= 2 && d.input[end] == 0xFF && (d.input[end + 1] & 0xFE) == 0xF8;
}

// libFLAC reports a frame cut short by the end of the file as lost sync.
CodecProblem Classify(CodecProblem p, const Decoding &d) {
    if (p == CodecProblem::Malformed && !d.framesAfterError && d.at == d.input.size() && CutFrameFollows(d))
        return CodecProblem::Truncated;
    return p;
}

// What follows the last frame: nothing (the ID3v1 tag was set aside).
CodecProblem CheckEnd(const Decoding &d, const flac::Scan &scan) {
    const FlacAudio &a = *d.audio;
    if (scan.info.totalSamples != 0 && a.frames != scan.info.totalSamples) return CodecProblem::Truncated;
    if (d.lastFrameEnd == 0 && a.frames > 0) return CodecProblem::Malformed;
    const std::size_t end = a.frames == 0 ? scan.framesBegin : d.lastFrameEnd;
    if (end == d.input.size()) return CodecProblem::None;
    return CutFrameFollows(d) ? CodecProblem::Truncated : CodecProblem::Malformed;
}

// Copies the blocks after STREAMINFO; the SEEKTABLE leaves only its counts.
void KeepBlocks(std::span<const std::uint8_t> file, const flac::Scan &scan, FlacAudio &a) {
    a.leadingTag.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(scan.leadingTag));
    a.trailingTag.assign(file.end() - static_cast<std::ptrdiff_t>(scan.trailingTag), file.end());
    for (std::size_t i = 1; i < scan.blocks.size(); ++i) {
        const flac::BlockRef &b = scan.blocks[i];
        const auto data = file.subspan(b.offset, b.length);
        if (b.type == FlacSeekTable) {
            flac::CountSeekPoints(data, a.encoding.seekPoints, a.encoding.seekPlaceholders);
            a.blocks.push_back({b.type, {}});
        } else {
            a.blocks.push_back({b.type, {data.begin(), data.end()}});
        }
    }
}

CodecProblem Read(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, FlacAudio &audio) {
    flac::Scan scan;
    if (CodecProblem e = flac::ScanMetadata(file, scan); e != CodecProblem::None) return e;
    const flac::StreamInfo &s = scan.info;
    if (s.bitsPerSample < 8 || s.bitsPerSample > 24) return CodecProblem::Unsupported;
    std::uint64_t kept = scan.leadingTag + scan.trailingTag;
    for (std::size_t i = 1; i < scan.blocks.size(); ++i) kept += scan.blocks[i].length;
    if (kept > memoryLimit) return CodecProblem::TooLarge;
    Decoding d;
    d.sampleBudget = (memoryLimit - kept) / sizeof(std::int32_t);
    if (s.totalSamples != 0) {
        if (s.totalSamples > d.sampleBudget / s.channels) return CodecProblem::TooLarge;
        d.sampleBudget = s.totalSamples * s.channels;
        d.totalStated = true;
    }
    audio.sampleRate = s.sampleRate;
    audio.channels = s.channels;
    audio.bitsPerSample = s.bitsPerSample;
    audio.encoding.blockSize = s.maxBlockSize;
    try {
        KeepBlocks(file, scan, audio);
        if (d.totalStated) audio.samples.reserve(d.sampleBudget);
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    d.input = file.first(file.size() - scan.trailingTag);
    d.framesBegin = scan.framesBegin;
    d.audio = &audio;
    if (CodecProblem e = Classify(RunDecoder(d), d); e != CodecProblem::None) return e;
    audio.frames = audio.samples.size() / audio.channels;
    if (CodecProblem e = CheckEnd(d, scan); e != CodecProblem::None) return e;
    audio.wastedBits = d.allBits == 0 ? 0 : std::min<std::uint32_t>(std::countr_zero(d.allBits), s.bitsPerSample - 1);
    audio.encoding.compressionLevel = EstimateLevel(d);
    if (audio.encoding.trialBytes == 0 && audio.frames > 0) {
        audio.encoding.trialFrames = audio.frames;
        audio.encoding.trialBytes = d.lastFrameEnd - scan.framesBegin;
    }
    return CodecProblem::None;
}

} // namespace

bool FlacAudio::changeAllowed(std::uint64_t element, std::int32_t delta) const {
    if (element >= samples.size() || delta == 0) return false;
    const std::int64_t v = std::int64_t{samples[element]} + delta;
    return v >= minSample() && v <= maxSample();
}

CodecProblem ReadFlac(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, FlacAudio &audio) {
    audio = FlacAudio{};
    const CodecProblem e = Read(file, memoryLimit, audio);
    if (e != CodecProblem::None) audio = FlacAudio{};
    return e;
}

CodecProblem ReadFlacFile(const std::string &path, std::uint64_t memoryLimit, FlacAudio &audio) {
    audio = FlacAudio{};
    std::vector<std::uint8_t> bytes;
    if (CodecProblem e = ReadWholeFile(path, memoryLimit, bytes); e != CodecProblem::None) return e;
    return ReadFlac(bytes, memoryLimit - bytes.size(), audio);
}

CodecProblem ApplyChanges(FlacAudio &audio, std::span<const ElementChange> changes) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (i > 0 && changes[i].element <= changes[i - 1].element) return CodecProblem::InvalidChange;
        if (!audio.changeAllowed(changes[i].element, changes[i].delta)) return CodecProblem::InvalidChange;
    }
    for (const ElementChange &c : changes) audio.samples[c.element] += c.delta;
    return CodecProblem::None;
}

} // namespace kalmira::carrier
