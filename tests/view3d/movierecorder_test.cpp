// The computation movie: the menu toggle, start and stop around a running computation, frames and
// their JPEG companions, and what a failed capture or write leaves behind.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "testfiles.h"
#include "view3d/movierecorder.h"
#include "view3d/recordingtexts.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::Shell;
using test::TempDir;

class FakeHost : public RecordingHost {
public:
    bool running = false, animationBusy = false;
    int dialogResult = 0;
    RecordingChoice answer;
    std::string startedIn;
    int viewW = 641, viewH = 481;
    int syncCount = 0;
    bool pane = false;
    int capturesLeft = 1000, jpegsLeft = 1000;
    std::vector<std::string> messages, log, jpegs;
    std::vector<std::uint8_t> pixels;

    bool ComputationRunning() const override { return running; }
    bool AnimationRecorderBusy() const override { return animationBusy; }
    int ChooseRecording(RecordingChoice& c) override {
        startedIn = c.fileName;
        if (dialogResult == 0) c = answer;
        return dialogResult;
    }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    void ViewportSize(int& w, int& h) const override {
        w = viewW;
        h = viewH;
    }
    std::uint32_t Background() const override { return 0x00102030; }
    bool Capture(int, FrameImage& image) override {
        if (capturesLeft-- <= 0) return false;
        pixels.assign(static_cast<std::size_t>(viewW) * viewH * 3, 128);
        image = FrameImage{pixels.data(), viewW, viewH, viewW * 3};
        return true;
    }
    bool WriteJpeg(const FrameImage& rgb, const std::string& path) override {
        EXPECT_EQ(rgb.width % 4, 0);
        if (jpegsLeft-- <= 0) return false;
        jpegs.push_back(path);
        return true;
    }
    void AdjustSyncUpdateCount(int d) override { syncCount = std::max(0, syncCount + d); }
    std::string Title() const override { return "phantom.zun:1"; }
    void LogTimestamped(const std::string& t) override { log.push_back(t); }
    void ShowRecording(bool on) override { pane = on; }
};

class Recording : public ::testing::Test {
protected:
    Recording() {
        host.answer.fileName = (dir.path / "run.avi").string();
        host.answer.framesPerSecond = 10;
        host.answer.codec = MovieCodec::kUncompressed;
    }
    std::string Probe() {
        return Shell(
            "ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,nb_read_frames,"
            "r_frame_rate -of csv=p=0 '" +
            (dir.path / "run.avi").string() + "'");
    }
    TempDir dir{"zun_movierec"};
    FakeHost host;
    ComputationRecording rec{host};
};

TEST(FramesPerSecondEntry, OnlyPositiveWholeNumbers) {
    int v = 25;
    EXPECT_EQ(CheckFramesPerSecond("12", v), "");
    EXPECT_EQ(v, 12);
    EXPECT_EQ(CheckFramesPerSecond(" 7 ", v), "");
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", "0", "-3", "abc", "12x", "99999999999"}) {
        EXPECT_EQ(CheckFramesPerSecond(bad, v), recmsg::kFpsNotPositive) << bad;
        EXPECT_EQ(v, 7);
    }
}

TEST_F(Recording, ToggleWithoutAComputationOnlyMarks) {
    EXPECT_TRUE(rec.MenuEnabled());
    EXPECT_FALSE(rec.MenuChecked());
    rec.OnSaveMovie();
    EXPECT_TRUE(rec.MenuChecked());
    EXPECT_FALSE(rec.Active());
    EXPECT_TRUE(host.startedIn.empty() && host.syncCount == 0);
    rec.OnSaveMovie();
    EXPECT_FALSE(rec.MenuChecked());
    // An animation being recorded refuses the movie and greys the command.
    rec.OnSaveMovie();
    host.animationBusy = true;
    EXPECT_FALSE(rec.MenuEnabled());
    EXPECT_FALSE(rec.MenuChecked());
    EXPECT_EQ(rec.Start(), 2);
    EXPECT_FALSE(rec.Active());
}

TEST_F(Recording, TheToggleStartsAndStopsARunningComputationsMovie) {
    host.running = true;
    host.answer.saveFrames = true;
    rec.OnSaveMovie();
    ASSERT_TRUE(rec.Active());
    EXPECT_EQ(host.syncCount, 1);
    EXPECT_TRUE(host.pane);
    // A 641 x 481 window makes 644 x 484 frames.
    EXPECT_EQ(rec.Recorder().width, 644);
    EXPECT_EQ(rec.Recorder().height, 484);
    for (int i = 0; i < 3; ++i) rec.WriteRecordingFrame();
    EXPECT_EQ(rec.Recorder().frameIndex, 3);
    rec.OnSaveMovie();
    EXPECT_FALSE(rec.Active());
    EXPECT_EQ(host.syncCount, 0);
    EXPECT_FALSE(host.pane);
    EXPECT_EQ(Probe(), "rawvideo,644,484,10/1,3\n");
    const std::string base = (dir.path / "run").string();
    EXPECT_EQ(host.jpegs,
              (std::vector<std::string>{base + "_000000.jpg", base + "_000001.jpg", base + "_000002.jpg"}));
    EXPECT_TRUE(host.log.empty());
    // The next dialog opens in the folder of this movie.
    rec.OnSaveMovie();
    EXPECT_EQ(host.startedIn, dir.path.string());
    rec.Stop();
}

TEST_F(Recording, TheDocumentStartsAMarkedViewWithItsComputation) {
    rec.OnSaveMovie();
    host.running = true;
    EXPECT_EQ(rec.Start(), 0);
    EXPECT_TRUE(rec.Active());
    EXPECT_EQ(rec.Start(), 0);  // already recording: nothing more
    EXPECT_EQ(host.syncCount, 1);
    rec.Stop();
    // The end of the computation keeps the mark for the next one.
    EXPECT_TRUE(rec.MenuChecked());
    EXPECT_EQ(host.syncCount, 0);
}

TEST_F(Recording, ACancelledOrFailedStartClearsTheMark) {
    host.running = true;
    host.dialogResult = 1;
    rec.OnSaveMovie();
    EXPECT_FALSE(rec.Active());
    EXPECT_FALSE(rec.MenuChecked());
    EXPECT_EQ(host.syncCount, 0);

    host.dialogResult = 0;
    host.answer.fileName = (dir.path / "missing" / "run.avi").string();
    rec.OnSaveMovie();
    EXPECT_FALSE(rec.Active());
    EXPECT_FALSE(rec.MenuChecked());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], std::string(recmsg::kCouldNotCreate) + host.answer.fileName);
    EXPECT_FALSE(host.pane);
}

TEST_F(Recording, AFailedCaptureEndsTheMovieWithALogLine) {
    host.running = true;
    rec.OnSaveMovie();
    host.capturesLeft = 2;
    for (int i = 0; i < 4; ++i) rec.WriteRecordingFrame();
    EXPECT_FALSE(rec.Active());
    EXPECT_FALSE(rec.MenuChecked());
    EXPECT_EQ(host.syncCount, 0);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "phantom.zun:1 computation recording stopped with wait error\n");
    // The frames before the failure are in the closed movie.
    EXPECT_EQ(Probe(), "rawvideo,644,484,10/1,2\n");
}

TEST_F(Recording, AFailedFrameFileEndsTheMovie) {
    host.running = true;
    host.answer.saveFrames = true;
    rec.OnSaveMovie();
    host.jpegsLeft = 1;
    rec.WriteRecordingFrame();
    rec.WriteRecordingFrame();
    EXPECT_FALSE(rec.Active());
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "phantom.zun:1 computation recording stopped with frame error\n");
    EXPECT_EQ(Probe(), "rawvideo,644,484,10/1,1\n");
}

}  // namespace
}  // namespace zun
