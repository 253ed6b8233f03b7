#include "view3d/moviewriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "document/atomicfile.h"

namespace zun {

int RoundUpToMultipleOf4(int n) {
    return n <= 0 ? 0 : (n + 3) / 4 * 4;
}

void FitFrame(const std::uint8_t* src, int srcWidth, int srcHeight, std::ptrdiff_t srcStride, int width,
              int height, std::uint32_t colour, std::vector<std::uint8_t>& frame) {
    frame.resize(static_cast<std::size_t>(width) * height * 3);
    const std::uint8_t fill[3] = {static_cast<std::uint8_t>(colour >> 16),
                                  static_cast<std::uint8_t>(colour >> 8), static_cast<std::uint8_t>(colour)};
    const int w = src ? std::min(srcWidth, width) : 0;
    const int h = src ? std::min(srcHeight, height) : 0;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame.data() + static_cast<std::size_t>(y) * width * 3;
        int x = 0;
        if (y < h) {
            std::memcpy(row, src + y * srcStride, static_cast<std::size_t>(w) * 3);
            x = w;
        }
        for (; x < width; ++x) std::memcpy(row + x * 3, fill, 3);
    }
}

std::string FrameFileName(const std::string& baseName, int index) {
    char number[32];
    std::snprintf(number, sizeof number, "_%06d", index);
    return baseName + number + ".jpg";
}

std::string BaseNameOf(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

namespace {

// The AVI file through libavformat; MS Video 1 frames through libavcodec's encoder (which takes
// 15-bit pixels), uncompressed frames stored as given, bottom row first
// as the bitmap format of the stream says.
class FfmpegMovieWriter : public MovieWriter {
public:
    ~FfmpegMovieWriter() override { Close(); }

    MovieError Open(const std::string& path, const MovieFormat& format, int& code) override {
        Close();
        code = 0;
        format_ = format;
        // The document saves' temporary: made beside the target with its rights, renamed over it
        // only when complete, removed when dropped (also the leftovers of a killed program).
        try {
            file_ = std::make_unique<AtomicFile>(path);
        } catch (const std::runtime_error&) {
            code = AVERROR(errno ? errno : EIO);
            return MovieError::kCreate;
        }
        const MovieError e = OpenFile(code);
        if (e != MovieError::kNone) Discard();
        return e;
    }

    bool WriteFrame(int index, const std::uint8_t* bgr) override {
        if (!fmt_ || failed_) return false;
        const int rowBytes = format_.width * 3;
        if (format_.codec == MovieCodec::kUncompressed) {
            AVPacket* pkt = packet_;
            av_packet_unref(pkt);
            if (av_new_packet(pkt, rowBytes * format_.height) < 0) return Fail();
            std::memcpy(pkt->data, bgr, static_cast<std::size_t>(rowBytes) * format_.height);
            pkt->pts = pkt->dts = index;
            pkt->duration = 1;
            pkt->flags |= AV_PKT_FLAG_KEY;
            return Mux(pkt);
        }
        if (av_frame_make_writable(frame_) < 0) return Fail();
        // The encoder wants 15-bit pixels, top row first.
        for (int y = 0; y < format_.height; ++y) {
            const std::uint8_t* s = bgr + static_cast<std::ptrdiff_t>(format_.height - 1 - y) * rowBytes;
            auto* d = reinterpret_cast<std::uint16_t*>(frame_->data[0] + y * frame_->linesize[0]);
            for (int x = 0; x < format_.width; ++x, s += 3)
                d[x] = static_cast<std::uint16_t>(((s[2] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[0] >> 3));
        }
        frame_->pts = index;
        frame_->pict_type = AV_PICTURE_TYPE_I;
        if (avcodec_send_frame(codec_, frame_) < 0) return Fail();
        return Drain();
    }

    bool Close() override {
        if (!fmt_) return true;
        bool ok = !failed_;
        if (headerWritten_) {
            if (codec_ && format_.codec != MovieCodec::kUncompressed && !failed_) {
                avcodec_send_frame(codec_, nullptr);
                ok = Drain() && ok;
            }
            ok = av_write_trailer(fmt_) == 0 && ok;
        }
        if (fmt_->pb) {
            avio_flush(fmt_->pb);
            ok = fmt_->pb->error == 0 && ok;
            ok = avio_closep(&fmt_->pb) == 0 && ok;
        }
        Release();
        const std::unique_ptr<AtomicFile> file = std::move(file_);
        try {
            file->Commit();
        } catch (const std::runtime_error&) {
            return false;  // the temporary is gone, an older movie stays
        }
        return ok;
    }

    void Discard() override {
        Release();
        file_.reset();
    }

    bool IsOpen() const override { return fmt_ != nullptr; }
    const MovieFormat& Format() const override { return format_; }

private:
    MovieError OpenFile(int& code) {
        if (format_.width <= 0 || format_.height <= 0 || format_.width % 4 || format_.height % 4 ||
            format_.framesPerSecond <= 0) {
            code = AVERROR(EINVAL);
            return MovieError::kFormat;
        }
        const std::string& temp = file_->TempPath();
        int r = avformat_alloc_output_context2(&fmt_, nullptr, "avi", temp.c_str());
        if (r < 0 || !fmt_) {
            code = r;
            return MovieError::kCreate;
        }
        r = avio_open(&fmt_->pb, temp.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) {
            code = r;
            return MovieError::kCreate;
        }
        AVStream* st = avformat_new_stream(fmt_, nullptr);
        packet_ = av_packet_alloc();
        if (!st || !packet_) {
            code = AVERROR(ENOMEM);
            return MovieError::kCreate;
        }
        stream_ = st;
        st->time_base = AVRational{1, format_.framesPerSecond};
        st->avg_frame_rate = st->r_frame_rate = AVRational{format_.framesPerSecond, 1};
        if (format_.codec == MovieCodec::kUncompressed) {
            AVCodecParameters* par = st->codecpar;
            par->codec_type = AVMEDIA_TYPE_VIDEO;
            par->codec_id = AV_CODEC_ID_RAWVIDEO;
            par->codec_tag = 0;
            par->format = AV_PIX_FMT_BGR24;
            par->bits_per_coded_sample = 24;
            par->width = format_.width;
            par->height = format_.height;
            // The frames come bottom row first, as a bitmap with a positive height stores them.
            av_opt_set_int(fmt_->priv_data, "flipped_raw_rgb", 1, 0);
        } else {
            r = OpenEncoder(st);
            if (r < 0) {
                code = r;
                return MovieError::kCodec;
            }
        }
        r = avformat_write_header(fmt_, nullptr);
        if (r < 0) {
            code = r;
            return MovieError::kFormat;
        }
        headerWritten_ = true;
        return MovieError::kNone;
    }

    int OpenEncoder(AVStream* st) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
        if (!codec) return AVERROR_ENCODER_NOT_FOUND;
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_) return AVERROR(ENOMEM);
        codec_->width = format_.width;
        codec_->height = format_.height;
        codec_->pix_fmt = AV_PIX_FMT_RGB555LE;
        codec_->time_base = AVRational{1, format_.framesPerSecond};
        codec_->framerate = AVRational{format_.framesPerSecond, 1};
        // Every frame a key frame (the encoder's key-frame distance 0), so that no frame leans on
        // one that was dropped.
        codec_->keyint_min = 0;
        if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int r = avcodec_open2(codec_, codec, nullptr);
        if (r < 0) return r;
        r = avcodec_parameters_from_context(st->codecpar, codec_);
        if (r < 0) return r;
        frame_ = av_frame_alloc();
        if (!frame_) return AVERROR(ENOMEM);
        frame_->format = codec_->pix_fmt;
        frame_->width = format_.width;
        frame_->height = format_.height;
        return av_frame_get_buffer(frame_, 0);
    }

    bool Drain() {
        for (;;) {
            const int r = avcodec_receive_packet(codec_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return Fail();
            av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->flags |= AV_PKT_FLAG_KEY;
            if (!Mux(packet_)) return false;
        }
    }

    bool Mux(AVPacket* pkt) {
        pkt->stream_index = stream_->index;
        // The file's own buffer hides a failed write until it is flushed: flush so that a full
        // disk shows at the frame that met it.
        if (av_write_frame(fmt_, pkt) < 0) return Fail();
        avio_flush(fmt_->pb);
        if (fmt_->pb->error) return Fail();
        return true;
    }

    bool Fail() {
        failed_ = true;
        return false;
    }

    void Release() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        if (fmt_) {
            if (fmt_->pb) avio_closep(&fmt_->pb);
            avformat_free_context(fmt_);
        }
        fmt_ = nullptr;
        stream_ = nullptr;
        headerWritten_ = false;
        failed_ = false;
    }

    MovieFormat format_;
    std::unique_ptr<AtomicFile> file_;
    AVFormatContext* fmt_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool headerWritten_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<MovieWriter> MakeMovieWriter() {
    return std::make_unique<FfmpegMovieWriter>();
}

}  // namespace zun
