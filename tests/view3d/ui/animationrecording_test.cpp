// Animation movies of a real view: the scripted turn and a free-form recording replayed, with the
// computation movie refused meanwhile.

#include "view3d/ui/animationrecording.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <osg/Notify>

#include <cstdio>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "testfiles.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::Shell;

QApplication* App() {
    static int argc = 1;
    static char name[] = "animationrecording_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        osg::setNotifyLevel(osg::FATAL);
        return new QApplication(argc, argv);
    }();
    return app;
}

class AnimationMovie : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        App();
        char tmpl[] = "/tmp/zun_animmovie_XXXXXX";
        dir = mkdtemp(tmpl);
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, nullptr});
        doc->OnNewDocument();
        ASSERT_EQ(doc->GetSample().Resize(Dims{24, 24, 24}), 1);
        view = std::make_unique<CZunView>(doc.get());
        view->fillDisplayVolume = [](DisplayVolume& vol, const Dims& d) {
            // An orange block in one corner: every turn of the camera shows.
            std::uint32_t* p = vol.Data();
            const auto& vd = vol.GetDims();
            for (int z = 0; z < vd[2]; ++z)
                for (int y = 0; y < vd[1]; ++y)
                    for (int x = 0; x < vd[0]; ++x)
                        *p++ = (x < vd[0] / 2 && y < vd[1] / 3 && z < vd[2] / 2) ? 0xC00080FFu : 0u;
            return d[2];
        };
        view->resize(321, 241);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        QElapsedTimer t;
        t.start();
        while (!view->GetVolumeLayer() && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(view->GetVolumeLayer());
        view->Manipulator()->setAllowThrow(false);
        movie = AddMovieRecording(view.get(), *doc);
        anim = AddAnimationRecording(view.get(), *doc);
        anim->showRecording = [this](bool on) { pane = on; };
        anim->showMessage = [this](const std::string& m) { messages.push_back(m); };
        anim->chooseFile = [this] { return file; };
        anim->chooseOptions = [this](RecordOptions& o) {
            o = options;
            return true;
        };
    }
    void TearDown() override {
        view.reset();
        doc.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Probe() {
        return Shell(
            "ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,"
            "nb_read_frames -of csv=p=0 '" +
            file + "'");
    }

    fs::path dir;
    std::string file;
    RecordOptions options;
    HeadlessPrompt prompt;
    std::unique_ptr<CZunDoc> doc;
    std::unique_ptr<CZunView> view;
    ViewMovieRecording* movie = nullptr;
    ViewAnimationRecording* anim = nullptr;
    bool pane = false;
    std::vector<std::string> messages;
};

TEST_F(AnimationMovie, ScriptedTurnWritesEveryFrameAndPutsTheCameraBack) {
    file = (dir / "turn.avi").string();
    options.period = 1.0f;  // 24 frames
    options.saveFrames = true;
    const osg::Quat before = view->Manipulator()->getRotation();
    anim->OnRecordAnimation();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_FALSE(anim->Busy());
    EXPECT_FALSE(pane);
    EXPECT_EQ(Probe(), "msvideo1,324,244,24/1,24\n");
    EXPECT_TRUE(fs::exists(dir / "turn_000000.jpg"));
    EXPECT_TRUE(fs::exists(dir / "turn_000023.jpg"));
    EXPECT_FALSE(fs::exists(dir / "turn_000024.jpg"));
    // The camera turned: the first and a middle frame differ.
    const QImage a((dir / "turn_000000.jpg").c_str()), b((dir / "turn_000012.jpg").c_str());
    EXPECT_NE(a, b);
    EXPECT_TRUE(view->Manipulator()->getRotation() == before);
}

TEST_F(AnimationMovie, FreeFormRecordsTheDrawnFramesAndRefusesAComputationMovie) {
    file.clear();
    options.mode = 0;
    options.frameRate = 10;
    double now = 0;
    anim->elapsedSeconds = [&] { return now; };
    anim->OnRecordAnimation();
    ASSERT_TRUE(anim->FreeFormRunning());
    EXPECT_TRUE(pane);
    // The control panel's buttons see the recorder.
    ASSERT_TRUE(view->recorderBusy);
    EXPECT_TRUE(view->recorderBusy());
    // The computation movie is refused and its command greyed while the animation records.
    movie->Recording().OnSaveMovie();
    EXPECT_EQ(movie->Recording().Start(), 2);
    EXPECT_FALSE(movie->Recording().MenuEnabled());
    for (int i = 1; i <= 6; ++i) {
        now = 0.1 * i + 0.05;
        view->Manipulator()->setRotation(view->Manipulator()->getRotation() *
                                         osg::Quat(0.2, osg::Vec3d(0, 1, 0)));
        if (i == 3) view->SetBackgroundColour(0x00402010);
        view->grabFramebuffer();
    }
    now = 0.75;
    // Each file dialog stays up ten seconds, while the view draws a turned camera behind it:
    // neither the time nor the drawing is in the movie, which ends where Stop was pressed.
    anim->chooseFile = [&] {
        now += 10;
        view->Manipulator()->setRotation(view->Manipulator()->getRotation() *
                                         osg::Quat(0.3, osg::Vec3d(1, 0, 0)));
        view->grabFramebuffer();
        return file;
    };
    // No file chosen: the recording goes on.
    anim->OnStopRecording();
    EXPECT_TRUE(anim->FreeFormRunning());
    file = (dir / "free.avi").string();
    view->stopRecording();
    EXPECT_FALSE(anim->FreeFormRunning());
    EXPECT_FALSE(anim->Busy());
    EXPECT_FALSE(view->recorderBusy());
    EXPECT_FALSE(pane);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(movie->Recording().MenuEnabled());
    // A frame at the start, one for each drawn frame a tenth of a second later, and one for the
    // end; frame 1 saw nothing new and stays empty.
    EXPECT_EQ(Probe(), "msvideo1,324,244,10/1,8\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries packet=pts -of csv=p=0 '" + file + "'"),
              "0\n2\n3\n4\n5\n6\n7\n8\n");
    movie->Recording().OnSaveMovie();
}

// The options dialog opens with what it last started with, free form included.
TEST_F(AnimationMovie, TheOptionsDialogRemembersTheLastChoices) {
    anim->chooseOptions = nullptr;
    auto whenShown = [](const std::function<void(RecordOptionsDialog&)>& act) {
        QTimer::singleShot(50, [act] {
            auto* d = qobject_cast<RecordOptionsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            act(*d);
        });
    };
    whenShown([](RecordOptionsDialog& d) {
        EXPECT_TRUE(d.Kind(1)->isChecked());  // the first time: the defaults
        d.Kind(0)->click();
        d.FrameRate()->setText("12");
        d.accept();
    });
    anim->OnRecordAnimation();
    ASSERT_TRUE(anim->FreeFormRunning());
    file = (dir / "free.avi").string();
    anim->OnStopRecording();
    ASSERT_FALSE(anim->Busy());
    bool seen = false;
    whenShown([&](RecordOptionsDialog& d) {
        seen = true;
        EXPECT_TRUE(d.Kind(0)->isChecked());
        EXPECT_EQ(d.FrameRate()->text(), "12");
        EXPECT_FALSE(d.Period()->isEnabled());
        // A turn without rotation, stepping through the slices.
        d.Kind(2)->click();
        d.Effect()->click();
        d.StepThrough()->click();
        d.NoRotation()->click();
        d.reject();
    });
    anim->OnRecordAnimation();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(anim->Busy());
    // A cancelled dialog changes nothing; the scripted choices come back as they were accepted.
    seen = false;
    whenShown([&](RecordOptionsDialog& d) {
        seen = true;
        EXPECT_TRUE(d.Kind(0)->isChecked());
        d.Kind(2)->click();
        d.Effect()->click();
        d.StepThrough()->click();
        d.NoRotation()->click();
        d.Period()->setText("1");
        d.FrameRate()->setText("10");
        d.accept();
    });
    file = (dir / "still.avi").string();
    anim->OnRecordAnimation();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(messages.empty()) << messages.front();
    seen = false;
    whenShown([&](RecordOptionsDialog& d) {
        seen = true;
        EXPECT_TRUE(d.Kind(2)->isChecked());
        EXPECT_TRUE(d.Effect()->isChecked());
        EXPECT_TRUE(d.StepThrough()->isChecked());
        EXPECT_TRUE(d.NoRotation()->isChecked());
        EXPECT_EQ(d.Period()->text(), "1.0");
        d.reject();
    });
    anim->OnRecordAnimation();
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace zun
