// The scripted animation movie against a fake view: frame counts and numbering, the camera's turn,
// slice effects, option checks, and how errors and a cancel end the movie.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "testfiles.h"
#include "view3d/animationrecorder.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::Shell;
using test::TempDir;

class FakeView : public AnimationHost {
public:
    Quat rotation{0, 0, 0, 1};
    std::vector<Quat> drawn;
    std::vector<std::pair<int, bool>> steps;
    std::vector<std::string> jpegs;
    std::vector<std::uint8_t> pixels;
    int capturesLeft = 1 << 30, cancelAt = -1, progressCalls = 0;
    bool pane = false;

    bool Capture(int order, FrameImage& image) override {
        if (capturesLeft-- <= 0) return false;
        if (order == 0) drawn.push_back(rotation);
        pixels.assign(63 * 47 * 3, 90);
        image = FrameImage{pixels.data(), 63, 47, 63 * 3};
        return true;
    }
    bool WriteJpeg(const FrameImage& rgb, const std::string& path) override {
        EXPECT_EQ(rgb.width, 64);
        jpegs.push_back(path);
        return true;
    }
    void ViewportSize(int& w, int& h) const override {
        w = 63;
        h = 47;
    }
    std::uint32_t Background() const override { return 0; }
    Quat Rotation() const override { return rotation; }
    void SetRotation(const Quat& q) override { rotation = q; }
    double Distance() const override { return 100.0; }
    double MinimumDistance() const override { return 0.05; }
    int SliceCount() const override { return 60; }
    std::vector<std::array<double, 16>> cameras;
    std::vector<std::uint32_t> colours;
    void SetCameraMatrix(const std::array<double, 16>& m) override { cameras.push_back(m); }
    void SetBackground(std::uint32_t c) override { colours.push_back(c); }
    void StepSlices(int position, bool fillIn) override { steps.emplace_back(position, fillIn); }
    bool Progress(int) override { return progressCalls++ == cancelAt; }
    void ShowRecording(bool on) override { pane = on; }
};

// The angle the view turned between two camera rotations, in radians.
double Turned(const Quat& a, const Quat& b) {
    const double dot = std::abs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]);
    return 2 * std::acos(std::min(1.0, dot));
}

class Animation : public ::testing::Test {
protected:
    TempDir dir{"zun_anim"};
    FakeView view;
    std::unique_ptr<MovieWriter> writer = MakeMovieWriter();
    std::string file = (dir.path / "spin.avi").string();
};

TEST(RecordOptionsCheck, RangesAndTheShortPeriodGuard) {
    RecordOptions o;
    EXPECT_EQ(CheckRecordOptions(o), "");
    EXPECT_EQ(FramesPerRotation(o), 240);
    EXPECT_EQ(ScriptedFrameCount(o), 240);
    o.rotations = 0;
    EXPECT_EQ(CheckRecordOptions(o), "Number of rotations must be > 0");
    o.rotations = 2;
    EXPECT_EQ(ScriptedFrameCount(o), 480);
    o.frameRate = 9;
    EXPECT_EQ(CheckRecordOptions(o), "Frame rate must be > 10");
    o.frameRate = 10;
    EXPECT_EQ(CheckRecordOptions(o), "");
    o.period = 0;
    EXPECT_EQ(CheckRecordOptions(o), "Period must be > 0");
    // Ten frames a second for half a second: five frames a rotation would need an eye step
    // longer than the distance.
    o.period = 0.5f;
    EXPECT_EQ(CheckRecordOptions(o), "Period must be > 0");
    // A remote controller's extremes: no endless period, no frame count past any bound.
    o.period = std::numeric_limits<float>::infinity();
    EXPECT_EQ(CheckRecordOptions(o), "Period must be > 0");
    o.period = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(CheckRecordOptions(o), "Period must be > 0");
    o.period = 10;
    o.rotations = 4294967295u;
    EXPECT_EQ(CheckRecordOptions(o), kTooManyFrames);
    o.rotations = 1;
    o.frameRate = 2147483647u;
    EXPECT_EQ(CheckRecordOptions(o), kTooManyFrames);
    o.frameRate = 25;
    o.period = 2147483647.0f;
    EXPECT_EQ(CheckRecordOptions(o), kTooManyFrames);
    // No rotation makes one rotation's frames whatever the count.
    o = RecordOptions{};
    o.mode = 4;
    o.rotations = 3;
    EXPECT_EQ(ScriptedFrameCount(o), 240);
    // Free form checks the frame rate only.
    o = RecordOptions{};
    o.mode = 0;
    o.rotations = 0;
    o.frameRate = 5;
    EXPECT_EQ(CheckRecordOptions(o), "");
    o.frameRate = 0;
    EXPECT_EQ(CheckRecordOptions(o), "Frame rate must be > 10");
}

TEST_F(Animation, ScriptedDefaultsMake240FramesAndTurnOnce) {
    RecordOptions o;
    o.saveFrames = true;
    EXPECT_EQ(RecordScripted(view, *writer, file, o), "");
    ASSERT_EQ(view.drawn.size(), 240u);
    ASSERT_EQ(view.jpegs.size(), 240u);
    EXPECT_EQ(view.jpegs.front(), (dir.path / "spin_000000.jpg").string());
    EXPECT_EQ(view.jpegs.back(), (dir.path / "spin_000239.jpg").string());
    // Every frame turns by the same small angle, and the camera is back where it started.
    const double first = Turned(Quat{0, 0, 0, 1}, view.drawn[0]);
    EXPECT_GT(first, 0.001);
    for (std::size_t i = 1; i < view.drawn.size(); ++i)
        EXPECT_NEAR(Turned(view.drawn[i - 1], view.drawn[i]), first, 1e-6) << i;
    EXPECT_EQ(view.rotation, (Quat{0, 0, 0, 1}));
    EXPECT_FALSE(view.pane);
    EXPECT_EQ(
        Shell("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,"
              "nb_read_frames -of csv=p=0 '" +
              file + "'"),
        "msvideo1,64,48,24/1,240\n");
}

TEST_F(Animation, AxisAngleChoosesTheDirectionOfTheTurn) {
    // With no rotation saved, 0 degrees turns about the horizontal (x) axis, 90 about the vertical.
    const Quat h = StepRotation(Quat{0, 0, 0, 1}, 100, 0.05, 240, 0.0f);
    const Quat v = StepRotation(Quat{0, 0, 0, 1}, 100, 0.05, 240, 90.0f);
    EXPECT_GT(std::abs(h[0]), 100 * (std::abs(h[1]) + std::abs(h[2])));
    EXPECT_GT(std::abs(v[1]), 100 * (std::abs(v[0]) + std::abs(v[2])));
    // A short rotation does not give an undefined turn.
    const Quat s = StepRotation(Quat{0, 0, 0, 1}, 100, 0.05, 5, 0.0f);
    for (double x : s) EXPECT_TRUE(std::isfinite(x));
}

TEST_F(Animation, FillInWithoutRotationAndEffectsRestartEachRotation) {
    RecordOptions o;
    o.mode = 4;
    o.effect = 1;
    o.period = 2.5f;  // 60 frames, one slice a frame
    EXPECT_EQ(RecordScripted(view, *writer, file, o), "");
    ASSERT_EQ(view.drawn.size(), 60u);
    for (const Quat& q : view.drawn) EXPECT_EQ(q, (Quat{0, 0, 0, 1}));
    ASSERT_EQ(view.steps.size(), 62u);
    EXPECT_EQ(view.steps.front(), std::make_pair(-1, false));
    EXPECT_EQ(view.steps[1], std::make_pair(0, true));
    EXPECT_EQ(view.steps[60], std::make_pair(59, true));
    EXPECT_EQ(view.steps.back(), std::make_pair(-2, false));

    view.steps.clear();
    o.mode = 1;
    o.rotations = 2;
    o.effect = 2;
    EXPECT_EQ(RecordScripted(view, *writer, file, o), "");
    int begins = 0;
    for (std::size_t i = 0; i < view.steps.size(); ++i)
        if (view.steps[i].first == -1) {
            ++begins;
            EXPECT_FALSE(view.steps[i + 1].second);  // step through
            EXPECT_EQ(view.steps[i + 1].first, 0);
        }
    EXPECT_EQ(begins, 2);
}

std::array<double, 16> Camera(double x) {
    std::array<double, 16> m{};
    m[12] = x;
    return m;
}

TEST_F(Animation, ErrorsKeepTheFramesWrittenACancelLeavesNoFile) {
    RecordOptions o;
    view.capturesLeft = 5;
    EXPECT_EQ(RecordScripted(view, *writer, file, o),
              "Error getting screen image on frame #5 to " + file + "; aborting");
    EXPECT_EQ(view.rotation, (Quat{0, 0, 0, 1}));
    EXPECT_EQ(Shell("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" +
                    file + "'"),
              "5\n");

    // Cancelled, the scripted movie and the replay leave the movie there before as it was, and
    // nothing where there was none.
    view.capturesLeft = 1 << 30;
    const std::uintmax_t before = fs::file_size(file);
    const std::string fresh = (dir.path / "fresh.avi").string();
    FreeFormRecording r;
    r.Start(Camera(0), 0);
    r.AddCamera(0.5, Camera(1));
    r.Finish(2.0);
    for (const std::string& target : {file, fresh}) {
        for (const bool replay : {false, true}) {
            auto background = MakeBackgroundMovieWriter();
            view.cancelAt = replay ? 7 : 3;
            view.progressCalls = 0;
            EXPECT_EQ(replay ? ReplayFreeForm(view, *background, target, 10, false, r.Events())
                             : RecordScripted(view, *background, target, o),
                      "Record Animation cancelled");
            EXPECT_FALSE(view.pane);
        }
    }
    EXPECT_EQ(fs::file_size(file), before);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
    view.cancelAt = -1;

    EXPECT_EQ(RecordScripted(view, *writer, (dir.path / "no" / "spin.avi").string(), o),
              "ERROR! Could not create avi file " + (dir.path / "no" / "spin.avi").string());
}

TEST(RecordOptionsDialogState, ControlsFollowTheKindAndTheEffect) {
    const RecordOptionsEnables free = RecordOptionsState(0, true, true);
    EXPECT_TRUE(free.frameRate);
    EXPECT_FALSE(free.rotations || free.period || free.axisAngle || free.effect || free.effectChoices);
    EXPECT_TRUE(free.kinds);
    const RecordOptionsEnables h = RecordOptionsState(1, false, false);
    EXPECT_TRUE(h.frameRate && h.rotations && h.period && h.effect && h.kinds);
    EXPECT_FALSE(h.axisAngle || h.effectChoices);
    EXPECT_TRUE(RecordOptionsState(3, false, false).axisAngle);
    // "No rotation" with the effect on: the kinds and the rotation count no longer apply.
    const RecordOptionsEnables still = RecordOptionsState(2, true, true);
    EXPECT_TRUE(still.effectChoices);
    EXPECT_FALSE(still.kinds || still.rotations);
    EXPECT_TRUE(RecordOptionsState(2, false, true).kinds);
}

TEST(FreeForm, EventsStopAtFiveMinutes) {
    FreeFormRecording r;
    r.Start(Camera(0), 0x000000FF);
    r.AddCamera(10.0, Camera(1));
    r.AddColour(12.0, 0x00FF0000);
    r.AddCamera(299.9, Camera(2));
    r.AddCamera(300.5, Camera(3));
    r.AddColour(301.0, 0x0000FF00);
    r.Finish(400.0);
    const auto e = r.Events();
    ASSERT_EQ(e.size(), 7u);
    EXPECT_EQ(e[0].kind, AnimationEvent::kMarker);
    EXPECT_EQ(e[1].kind, AnimationEvent::kCamera);
    EXPECT_EQ(e[2].colour, 0x000000FFu);
    EXPECT_EQ(e[5].matrix[12], 2.0);
    EXPECT_EQ(e[6].kind, AnimationEvent::kMarker);
    EXPECT_EQ(e[6].time, 300.0);
}

TEST_F(Animation, ReplayWritesFramesOnlyWhereSomethingHappened) {
    // At 10 frames a second: events at 0, 0.05 (applied at frame 1), 0.31 (frame 4) and the end
    // at 1.0 s (frame 10), which gives the movie its length.
    FreeFormRecording r;
    r.Start(Camera(0), 0x00102030);
    r.AddCamera(0.05, Camera(1));
    r.AddColour(0.31, 0x00405060);
    r.AddCamera(0.31, Camera(2));
    r.Finish(1.0);
    EXPECT_EQ(ReplayFreeForm(view, *writer, file, 10, true, r.Events()), "");
    EXPECT_EQ(view.drawn.size(), 4u);
    const std::string base = (dir.path / "spin").string();
    EXPECT_EQ(view.jpegs, (std::vector<std::string>{base + "_000000.jpg", base + "_000001.jpg",
                                                    base + "_000004.jpg", base + "_000010.jpg"}));
    ASSERT_EQ(view.cameras.size(), 3u);
    EXPECT_EQ(view.cameras.back()[12], 2.0);
    EXPECT_EQ(view.colours, (std::vector<std::uint32_t>{0x00102030, 0x00405060}));
    // Frames keep their times: eleven samples of which the unchanged ones are empty.
    EXPECT_EQ(Shell("ffprobe -v error -show_entries packet=pts -of csv=p=0 '" + file + "'"), "0\n1\n4\n10\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=nb_frames -of csv=p=0 '" + file + "'"), "11\n");
}

// Waiting ten seconds, one drag and Stop: the movie lasts the ten seconds and shows the drag
// where it happened, not one frame.
TEST_F(Animation, ReplayCoversTheWholeRecording) {
    FreeFormRecording r;
    r.Start(Camera(0), 0x00102030);
    r.AddCamera(9.5, Camera(1));
    r.Finish(10.0);
    EXPECT_EQ(ReplayFreeForm(view, *writer, file, 25, false, r.Events()), "");
    EXPECT_EQ(view.drawn.size(), 3u);
    ASSERT_EQ(view.cameras.size(), 2u);
    EXPECT_EQ(view.cameras.back()[12], 1.0);
    EXPECT_EQ(Shell("ffprobe -v error -show_entries packet=pts -of csv=p=0 '" + file + "'"), "0\n238\n250\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=nb_frames -of csv=p=0 '" + file + "'"), "251\n");
}

}  // namespace
}  // namespace zun
