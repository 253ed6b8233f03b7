// Movie files checked with Debian's ffprobe and ffmpeg: codec, frame size, count and rate, and the
// decoded frames against the ones written.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "testfiles.h"
#include "view3d/moviewriter.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::Shell;
using test::TempDir;

// key=value lines of ffprobe's stream entries.
std::map<std::string, std::string> Probe(const fs::path& file) {
    const std::string out = Shell(
        "ffprobe -v error -select_streams v:0 -count_frames -count_packets -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames,nb_read_packets -of default=nw=1 '" +
        file.string() + "'");
    std::map<std::string, std::string> m;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
}

// Every frame ffmpeg decodes, as top-down blue-green-red rows.
std::vector<std::uint8_t> Decode(const fs::path& file, const fs::path& raw) {
    Shell("ffmpeg -v error -y -i '" + file.string() + "' -f rawvideo -pix_fmt bgr24 '" + raw.string() + "'");
    std::ifstream in(raw, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A smooth picture with a disc that moves with the frame number, bottom row first.
std::vector<std::uint8_t> Picture(int w, int h, int n) {
    std::vector<std::uint8_t> f(static_cast<std::size_t>(w) * h * 3);
    const double cx = w * (0.2 + 0.02 * n), cy = h * 0.5, r = h * 0.2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &f[(static_cast<std::size_t>(y) * w + x) * 3];
            const bool in = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
            p[0] = static_cast<std::uint8_t>(in ? 40 : 255 * x / w);
            p[1] = static_cast<std::uint8_t>(in ? 200 : 255 * y / h);
            p[2] = static_cast<std::uint8_t>(in ? 230 : 64);
        }
    return f;
}

// The decoded frame (top-down) against the written one (bottom-up).
double Psnr(const std::vector<std::uint8_t>& bottomUp, const std::uint8_t* topDown, int w, int h) {
    double se = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* a = &bottomUp[static_cast<std::size_t>(h - 1 - y) * w * 3];
        const std::uint8_t* b = topDown + static_cast<std::size_t>(y) * w * 3;
        for (int i = 0; i < w * 3; ++i) se += double(a[i] - b[i]) * (a[i] - b[i]);
    }
    if (se == 0) return INFINITY;
    return 10 * std::log10(255.0 * 255.0 / (se / (double(w) * h * 3)));
}

TEST(MovieNames, SizesAndFileNames) {
    EXPECT_EQ(RoundUpToMultipleOf4(641), 644);
    EXPECT_EQ(RoundUpToMultipleOf4(481), 484);
    EXPECT_EQ(RoundUpToMultipleOf4(644), 644);
    EXPECT_EQ(RoundUpToMultipleOf4(0), 0);
    EXPECT_EQ(FrameFileName("/out/run", 0), "/out/run_000000.jpg");
    EXPECT_EQ(FrameFileName("/out/run", 239), "/out/run_000239.jpg");
    EXPECT_EQ(BaseNameOf("/out/run.avi"), "/out/run");
    EXPECT_EQ(BaseNameOf("/out.d/run"), "/out.d/run");
    EXPECT_EQ(FolderOf("/out/run.avi"), "/out");
    EXPECT_EQ(FolderOf("C:\\out\\run.avi"), "C:\\out");
}

TEST(MovieNames, FitFramePadsRightAndTopWithTheColour) {
    // A 3 x 2 image into a 4 x 4 frame: one column on the right, two rows on top.
    const std::uint8_t img[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0,  // row 0 with two bytes of padding
                                10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0};
    std::vector<std::uint8_t> f;
    FitFrame(img, 3, 2, 11, 4, 4, 0x00332211u, f);
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(f[8], 9);
    EXPECT_EQ(f[9], 0x33);  // blue first
    EXPECT_EQ(f[11], 0x11);
    EXPECT_EQ(f[12], 10);
    for (int i = 24; i < 48; i += 3) EXPECT_EQ(f[i], 0x33) << i;
}

class MovieFiles : public ::testing::Test {
protected:
    void Write(MovieCodec codec, int frames, int w = 644, int h = 484, int fps = 25) {
        auto writer = MakeMovieWriter();
        int code = 0;
        ASSERT_EQ(writer->Open(file.string(), MovieFormat{w, h, fps, codec}, code), MovieError::kNone)
            << code;
        // Nothing of the name exists before the movie is complete.
        EXPECT_FALSE(fs::exists(file));
        for (int n = 0; n < frames; ++n) {
            written.push_back(Picture(w, h, n));
            ASSERT_TRUE(writer->WriteFrame(n, written.back().data()));
        }
        ASSERT_TRUE(writer->Close());
        EXPECT_TRUE(fs::exists(file));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
    }
    TempDir dir{"zun_movie"};
    fs::path file = dir.path / "run.avi";
    std::vector<std::vector<std::uint8_t>> written;
};

TEST_F(MovieFiles, UncompressedFramesDecodeUnchanged) {
    Write(MovieCodec::kUncompressed, 8);
    auto p = Probe(file);
    EXPECT_EQ(p["codec_name"], "rawvideo");
    EXPECT_EQ(p["width"], "644");
    EXPECT_EQ(p["height"], "484");
    EXPECT_EQ(p["r_frame_rate"], "25/1");
    EXPECT_EQ(p["nb_read_frames"], "8");
    const auto raw = Decode(file, dir.path / "out.raw");
    const std::size_t size = 644u * 484 * 3;
    ASSERT_EQ(raw.size(), 8 * size);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(Psnr(written[n], &raw[n * size], 644, 484), INFINITY) << n;
}

TEST_F(MovieFiles, MsVideo1FramesDecodeClose) {
    Write(MovieCodec::kMsVideo1, 24, 644, 484, 24);
    auto p = Probe(file);
    EXPECT_EQ(p["codec_name"], "msvideo1");
    EXPECT_EQ(p["width"], "644");
    EXPECT_EQ(p["height"], "484");
    EXPECT_EQ(p["r_frame_rate"], "24/1");
    EXPECT_EQ(p["nb_read_frames"], "24");
    const auto raw = Decode(file, dir.path / "out.raw");
    const std::size_t size = 644u * 484 * 3;
    ASSERT_EQ(raw.size(), 24 * size);
    for (int n = 0; n < 24; ++n) EXPECT_GE(Psnr(written[n], &raw[n * size], 644, 484), 30.0) << n;
}

TEST_F(MovieFiles, SkippedNumbersStayEmptyFrames) {
    auto writer = MakeMovieWriter();
    int code = 0;
    ASSERT_EQ(writer->Open(file.string(), MovieFormat{64, 48, 25, MovieCodec::kMsVideo1}, code),
              MovieError::kNone);
    const auto pic = Picture(64, 48, 0);
    for (int n : {0, 1, 5}) ASSERT_TRUE(writer->WriteFrame(n, pic.data()));
    ASSERT_TRUE(writer->Close());
    // Frame 5 keeps its time, and every frame is whole, also one equal to the one before.
    const std::string packets =
        Shell("ffprobe -v error -show_entries packet=pts,size,flags -of csv=p=0 '" + file.string() + "'");
    const std::string size = packets.substr(2, packets.find(',', 2) - 2);
    EXPECT_GT(std::stoi(size), 64 * 48 / 16 * 2);  // at least a colour for every block
    EXPECT_EQ(packets, "0," + size + ",K_\n1," + size + ",K_\n5," + size + ",K_\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=nb_frames -of csv=p=0 '" + file.string() + "'"),
              "6\n");
}

TEST_F(MovieFiles, AnOlderMovieStaysUntilTheNewOneIsComplete) {
    { std::ofstream(file) << "old"; }
    auto writer = MakeMovieWriter();
    int code = 0;
    ASSERT_EQ(writer->Open(file.string(), MovieFormat{64, 48, 25, MovieCodec::kUncompressed}, code),
              MovieError::kNone);
    const auto pic = Picture(64, 48, 0);
    ASSERT_TRUE(writer->WriteFrame(0, pic.data()));
    EXPECT_EQ(fs::file_size(file), 3u);
    ASSERT_TRUE(writer->Close());
    EXPECT_GT(fs::file_size(file), 64u * 48 * 3);
}

TEST_F(MovieFiles, ADroppedMovieLeavesNoFileAndTheOlderOneAsItWas) {
    { std::ofstream(file) << "old"; }
    const fs::path fresh = dir.path / "fresh.avi";
    const auto pic = Picture(64, 48, 0);
    for (const bool background : {false, true})
        for (const fs::path& target : {file, fresh}) {
            auto writer = background ? MakeBackgroundMovieWriter() : MakeMovieWriter();
            int code = 0;
            ASSERT_EQ(writer->Open(target.string(), MovieFormat{64, 48, 25, MovieCodec::kUncompressed}, code),
                      MovieError::kNone);
            for (int n = 0; n < 3; ++n) ASSERT_TRUE(writer->WriteFrame(n, pic.data()));
            writer->Discard();
            EXPECT_FALSE(writer->IsOpen());
            EXPECT_TRUE(writer->Close());  // nothing left to finish
        }
    EXPECT_EQ(fs::file_size(file), 3u);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST_F(MovieFiles, FailuresAreReported) {
    auto writer = MakeMovieWriter();
    int code = 0;
    // No such folder: the file cannot be made and nothing stays open.
    EXPECT_EQ(writer->Open((dir.path / "missing" / "run.avi").string(),
                           MovieFormat{64, 48, 25, MovieCodec::kMsVideo1}, code),
              MovieError::kCreate);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(writer->IsOpen());
    // A size the bitmap format cannot take.
    EXPECT_EQ(writer->Open(file.string(), MovieFormat{642, 48, 25, MovieCodec::kMsVideo1}, code),
              MovieError::kFormat);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 0);
}

TEST_F(MovieFiles, AFullDiskStopsTheFrameThatMetIt) {
    // A file size limit stands for the full disk: writes past it fail with EFBIG.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old;
    lim.rlim_cur = 3 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    auto writer = MakeMovieWriter();
    int code = 0;
    bool failed = false;
    int n = 0;
    if (writer->Open(file.string(), MovieFormat{644, 484, 25, MovieCodec::kUncompressed}, code) ==
        MovieError::kNone) {
        const auto pic = Picture(644, 484, 0);
        for (; n < 10 && !failed; ++n) failed = !writer->WriteFrame(n, pic.data());
        EXPECT_FALSE(writer->Close());
        EXPECT_FALSE(writer->IsOpen());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_LE(n, 4);
    // What was written so far is kept under the movie's name.
    EXPECT_TRUE(fs::exists(file));
}

// A writer that keeps what it was given and fails at one frame number.
class KeepingWriter : public MovieWriter {
public:
    explicit KeepingWriter(int failAt) : failAt_(failAt) {}
    MovieError Open(const std::string&, const MovieFormat& format, int&) override {
        format_ = format;
        open_ = true;
        return MovieError::kNone;
    }
    bool WriteFrame(int index, const std::uint8_t* bgr) override {
        if (index == failAt_) return false;
        frames.emplace_back(index, bgr[0]);
        return true;
    }
    bool Close() override {
        if (!open_) return true;  // as the real writer: nothing to finish
        open_ = false;
        ++closes;
        return true;
    }
    void Discard() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    const MovieFormat& Format() const override { return format_; }
    std::vector<std::pair<int, std::uint8_t>> frames;
    int closes = 0;

private:
    int failAt_;
    MovieFormat format_;
    bool open_ = false;
};

// Frames written in the background arrive whole and in order, and a frame that fails there is
// reported: by a later WriteFrame or by Close, never lost.
TEST(BackgroundMovieWriter, KeepsOrderAndReportsALateFailure) {
    std::vector<std::uint8_t> frame(4 * 4 * 3);
    for (int failAt : {-1, 5, 19}) {
        auto inner = std::make_unique<KeepingWriter>(failAt);
        KeepingWriter* seen = inner.get();
        auto writer = MakeBackgroundMovieWriter(std::move(inner));
        int code = 0;
        ASSERT_EQ(writer->Open("unused.avi", MovieFormat{4, 4, 25, MovieCodec::kUncompressed}, code),
                  MovieError::kNone);
        bool refused = false;
        for (int f = 0; f < 20 && !refused; ++f) {
            // The caller reuses its buffer at once: the writer must have taken a copy.
            std::fill(frame.begin(), frame.end(), static_cast<std::uint8_t>(f));
            refused = !writer->WriteFrame(f, frame.data());
        }
        const bool closed = writer->Close();
        EXPECT_EQ(seen->closes, 1);
        const int written = failAt < 0 ? 20 : failAt;
        ASSERT_EQ(seen->frames.size(), static_cast<std::size_t>(written)) << failAt;
        for (int f = 0; f < written; ++f)
            EXPECT_EQ(seen->frames[f], (std::pair<int, std::uint8_t>(f, static_cast<std::uint8_t>(f))));
        EXPECT_EQ(refused || !closed, failAt >= 0) << failAt;
    }
}

}  // namespace
}  // namespace zun
