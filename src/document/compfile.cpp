#include "document/compfile.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "document/atomicfile.h"
#include "document/docmessages.h"
#include "platform/archive.h"
#include "platform/progress.h"

namespace zun {

namespace {

constexpr char kMagic[4] = {'Z', 'S', 'T', 'D'};
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kIoChunk = 1 << 17;

// RFC 1950 header: deflate method, a window of at most 32 KiB, valid check bits, no preset
// dictionary.
bool IsZlibHeader(const std::uint8_t* p) {
    unsigned cmf = p[0], flg = p[1];
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0 && !(flg & 0x20);
}

[[noreturn]] void ThrowFormat(ArchiveException::Cause cause) {
    throw ArchiveException(cause, docmsg::kUnexpectedFileFormat);
}

}  // namespace

struct CCompFile::Codec {
    ZSTD_CCtx* cctx = nullptr;
    ZSTD_DCtx* dctx = nullptr;
    z_stream zs{};
    bool zsInit = false;

    ~Codec() {
        if (cctx) ZSTD_freeCCtx(cctx);
        if (dctx) ZSTD_freeDCtx(dctx);
        if (zsInit) inflateEnd(&zs);
    }
};

CCompFile::CCompFile() = default;

CCompFile::~CCompFile() {
    // An unclosed writer never replaces the target.
    if (out_) out_->Discard();
}

void CCompFile::Open(const std::string& path, Mode mode) {
    if (open_) throw std::logic_error("CCompFile is already open");
    path_ = path;
    mode_ = mode;
    codec_ = std::make_unique<Codec>();
    inBuf_.assign(kIoChunk, 0);
    inPos_ = inEnd_ = 0;
    inputEnded_ = streamEnded_ = frameOpen_ = sawFrame_ = false;
    frames_ = frameInput_ = 0;
    if (mode == Mode::Write) {
        out_ = std::make_unique<AtomicFile>(path);
        codec_->cctx = ZSTD_createCCtx();
        if (!codec_->cctx) throw std::bad_alloc();
        ZSTD_CCtx_setParameter(codec_->cctx, ZSTD_c_compressionLevel, 1);
        ZSTD_CCtx_setParameter(codec_->cctx, ZSTD_c_checksumFlag, 1);
        std::uint8_t header[kHeaderSize];
        std::memcpy(header, kMagic, 4);
        std::uint32_t v = kWrapperVersion;
        std::memcpy(header + 4, &v, 4);
        out_->Write(header, kHeaderSize);
        outBuf_.assign(ZSTD_CStreamOutSize(), 0);
        wrapperVersion_ = kWrapperVersion;
        legacy_ = false;
        open_ = true;
        return;
    }

    in_ = std::make_unique<FileStream>(path, FileStream::Mode::Read);
    std::uint8_t header[kHeaderSize];
    std::size_t got = 0;
    while (got < kHeaderSize) {
        std::size_t r = in_->Read(header + got, kHeaderSize - got);
        if (!r) break;
        got += r;
    }
    if (got == kHeaderSize && std::memcmp(header, kMagic, 4) == 0) {
        std::memcpy(&wrapperVersion_, header + 4, 4);
        legacy_ = false;
        codec_->dctx = ZSTD_createDCtx();
        if (!codec_->dctx) throw std::bad_alloc();
    } else if (got >= 2 && IsZlibHeader(header)) {
        // The header bytes belong to the zlib stream: hand them to the inflater first.
        legacy_ = true;
        wrapperVersion_ = 0;
        std::memcpy(inBuf_.data(), header, got);
        inEnd_ = got;
        if (inflateInit(&codec_->zs) != Z_OK) throw std::bad_alloc();
        codec_->zsInit = true;
    } else {
        in_.reset();
        ThrowFormat(ArchiveException::generic);
    }
    open_ = true;
}

void CCompFile::SetProgress(ProgressSink* sink, std::uint64_t total) {
    meter_ = sink ? std::make_unique<ProgressMeter>(sink, total) : nullptr;
    moved_ = 0;
}

bool CCompFile::RefillInput() {
    if (inputEnded_) return false;
    inPos_ = 0;
    inEnd_ = in_->Read(inBuf_.data(), inBuf_.size());
    if (meter_) meter_->Advance(moved_ += inEnd_);
    if (!inEnd_) inputEnded_ = true;
    return inEnd_ != 0;
}

std::size_t CCompFile::Read(void* data, std::size_t n) {
    if (!open_ || mode_ != Mode::Read) return 0;
    auto out = static_cast<std::uint8_t*>(data);
    return legacy_ ? ReadZlib(out, n) : ReadZstd(out, n);
}

std::size_t CCompFile::ReadZstd(std::uint8_t* data, std::size_t n) {
    ZSTD_outBuffer out{data, n, 0};
    while (out.pos < n) {
        if (inPos_ == inEnd_) RefillInput();
        ZSTD_inBuffer in{inBuf_.data(), inEnd_, inPos_};
        std::size_t outBefore = out.pos;
        std::size_t r = ZSTD_decompressStream(codec_->dctx, &out, &in);
        if (ZSTD_isError(r)) ThrowFormat(ArchiveException::generic);
        bool consumed = in.pos != inPos_;
        inPos_ = in.pos;
        sawFrame_ = sawFrame_ || consumed;
        // Between frames the decoder asks for the next header, which is no truncation.
        if (r == 0)
            frameOpen_ = false;
        else if (consumed || out.pos != outBefore)
            frameOpen_ = true;
        if (out.pos == outBefore && !consumed && inPos_ == inEnd_ && inputEnded_) {
            // Our writer always makes at least one frame: a bare header is a cut file.
            if (frameOpen_ || !sawFrame_) ThrowFormat(ArchiveException::endOfFile);
            break;
        }
    }
    return out.pos;
}

std::size_t CCompFile::ReadZlib(std::uint8_t* data, std::size_t n) {
    z_stream& zs = codec_->zs;
    std::size_t produced = 0;
    while (produced < n && !streamEnded_) {
        if (inPos_ == inEnd_) RefillInput();
        zs.next_in = inBuf_.data() + inPos_;
        zs.avail_in = static_cast<uInt>(inEnd_ - inPos_);
        std::size_t want = std::min<std::size_t>(n - produced, 1u << 30);
        zs.next_out = data + produced;
        zs.avail_out = static_cast<uInt>(want);
        int r = inflate(&zs, Z_NO_FLUSH);
        std::size_t made = want - zs.avail_out;
        std::size_t used = (inEnd_ - inPos_) - zs.avail_in;
        inPos_ += used;
        produced += made;
        if (r == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (r == Z_BUF_ERROR || (r == Z_OK && !made && !used)) {
            if (inputEnded_ && inPos_ == inEnd_) ThrowFormat(ArchiveException::endOfFile);
        } else if (r != Z_OK) {
            ThrowFormat(ArchiveException::generic);
        }
    }
    return produced;
}

void CCompFile::Compress(const std::uint8_t* data, std::size_t n, bool endFrame) {
    ZSTD_inBuffer in{data, n, 0};
    ZSTD_EndDirective mode = endFrame ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
        ZSTD_outBuffer out{outBuf_.data(), outBuf_.size(), 0};
        std::size_t r = ZSTD_compressStream2(codec_->cctx, &out, &in, mode);
        if (ZSTD_isError(r))
            throw std::runtime_error("Cannot write file " + path_ + ": " + ZSTD_getErrorName(r));
        if (out.pos) out_->Write(outBuf_.data(), out.pos);
        if (endFrame ? r == 0 : in.pos == in.size) break;
    }
    if (endFrame) {
        ++frames_;
        frameInput_ = 0;
    }
}

void CCompFile::Write(const void* data, std::size_t n) {
    if (!open_ || mode_ != Mode::Write) throw std::runtime_error("CCompFile is not open for writing");
    if (meter_) meter_->Advance(moved_ += n);
    auto p = static_cast<const std::uint8_t*>(data);
    while (n) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, frameLimit_ - frameInput_));
        Compress(p, chunk, false);
        frameInput_ += chunk;
        p += chunk;
        n -= chunk;
        if (frameInput_ >= frameLimit_) Compress(nullptr, 0, true);
    }
}

void CCompFile::Close() {
    if (!open_) return;
    open_ = false;
    if (mode_ == Mode::Read) {
        in_.reset();
        codec_.reset();
        return;
    }
    try {
        if (frameInput_ || !frames_) Compress(nullptr, 0, true);
        out_->Commit();
    } catch (...) {
        out_->Discard();
        out_.reset();
        codec_.reset();
        throw;
    }
    out_.reset();
    codec_.reset();
}

void CCompFile::Abandon() {
    if (out_) out_->Discard();
    out_.reset();
    in_.reset();
    codec_.reset();
    open_ = false;
}

}  // namespace zun
