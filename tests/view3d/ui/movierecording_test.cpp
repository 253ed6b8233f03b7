// The computation movie of a real view while the example phantom is computed: started by the
// document with the computation or by the menu toggle during it, frames read back from the view,
// and the written movie decoded by ffmpeg against the frame files.

#include "view3d/ui/movierecording.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <osg/Notify>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "document/changehints.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"
#include "testfiles.h"
#include "view3d/ui/zunview.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using test::Shell;
using test::TempDir;

QApplication* App() {
    static int argc = 1;
    static char name[] = "movierecording_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        osg::setNotifyLevel(osg::FATAL);
        return new QApplication(argc, argv);
    }();
    return app;
}

class ViewMovie : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        App();
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, &frame});
        frame.SetHandler([this](const FrameMessage& m) {
            if (m.kind == FrameMsg::ComputationEnded) ended = true;
            doc->HandleFrameMessage(m);
        });
        doc->OnNewDocument();
        ASSERT_TRUE(doc->ImportTextDocument(std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt"));
        view = std::make_unique<CZunView>(doc.get());
        // An odd window: the frames are rounded up to multiples of 4.
        view->resize(321, 241);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        ASSERT_TRUE(Pump([&] { return view->GetVolumeLayer() != nullptr; }));
        rec = AddMovieRecording(view.get(), *doc);
        rec->showRecording = [this](bool on) { pane = on; };
        rec->chooseRecording = [this](RecordingChoice& c) {
            c.fileName = (dir.path / ("run" + std::to_string(files++) + ".avi")).string();
            c.framesPerSecond = 25;
            c.saveFrames = true;
            c.codec = MovieCodec::kUncompressed;
            return 0;
        };
    }
    void TearDown() override {
        frame.SetHandler({});
        rec = nullptr;
        view.reset();
        doc.reset();
    }

    template <class F>
    bool Pump(F done, int ms = 60000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            maxPending = std::max(maxPending, frame.Pending());
            frame.Pump();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    // Frames of the movie as ffmpeg decodes them, each compared with its frame file.
    int CheckMovie(const std::string& name, int w, int h) {
        const fs::path movie = dir.path / (name + ".avi");
        const std::string probe = Shell(
            "ffprobe -v error -count_frames -show_entries "
            "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
            movie.string() + "'");
        int fw = 0, fh = 0, n = 0;
        char codec[32] = {};
        EXPECT_EQ(std::sscanf(probe.c_str(), "%31[^,],%d,%d,%d", codec, &fw, &fh, &n), 4) << probe;
        EXPECT_STREQ(codec, "rawvideo");
        EXPECT_EQ(fw, w);
        EXPECT_EQ(fh, h);
        const fs::path raw = dir.path / (name + ".raw");
        Shell("ffmpeg -v error -y -i '" + movie.string() + "' -f rawvideo -pix_fmt rgb24 '" + raw.string() +
              "'");
        std::ifstream in(raw, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(bytes.size(), std::size_t(n) * w * h * 3);
        for (int i = 0; i < n && bytes.size() == std::size_t(n) * w * h * 3; ++i) {
            char jpg[32];
            std::snprintf(jpg, sizeof jpg, "_%06d.jpg", i);
            QImage img(QString::fromStdString((dir.path / (name + jpg)).string()));
            EXPECT_EQ(img.width(), w) << jpg;
            if (img.width() != w || img.height() != h) continue;
            img = img.convertToFormat(QImage::Format_RGB888);
            double se = 0;
            for (int y = 0; y < h; ++y) {
                const unsigned char* a = img.constScanLine(y);
                const unsigned char* b = &bytes[(std::size_t(i) * h + y) * w * 3];
                for (int x = 0; x < w * 3; ++x) se += double(a[x] - b[x]) * (a[x] - b[x]);
            }
            const double psnr = se == 0 ? 99 : 10 * std::log10(255.0 * 255 / (se / (w * h * 3.0)));
            EXPECT_GE(psnr, 30.0) << "frame " << i;
        }
        return n;
    }

    TempDir dir{"zun_viewmovie"};
    HeadlessPrompt prompt;
    QueuedMainFrameChannel frame;
    std::unique_ptr<CZunDoc> doc;
    std::unique_ptr<CZunView> view;
    ViewMovieRecording* rec = nullptr;
    bool ended = false, pane = false;
    int files = 0;
    std::size_t maxPending = 0;
};

TEST_F(ViewMovie, AMarkedViewRecordsTheComputation) {
    rec->Recording().OnSaveMovie();
    EXPECT_FALSE(rec->Recording().Active());
    ASSERT_EQ(doc->OnStartComputation(), 0);
    EXPECT_TRUE(rec->Recording().Active());
    EXPECT_TRUE(pane);
    ASSERT_TRUE(Pump([&] { return ended; }));
    // The end of the computation closes the movie and keeps the mark.
    EXPECT_FALSE(rec->Recording().Active());
    EXPECT_FALSE(pane);
    EXPECT_TRUE(rec->Recording().MenuChecked());
    const int n = CheckMovie("run0", 324, 244);
    EXPECT_GE(n, 1);
    EXPECT_FALSE(
        fs::exists(dir.path / ("run0" + std::string("_") + std::to_string(1000000 + n).substr(1) + ".jpg")));
    // The messages from the computation never piled up behind the frames.
    EXPECT_LT(maxPending, 64u);
    EXPECT_EQ(doc->Logger().Text().find("recording stopped"), std::string::npos);
}

// A computation that reports far faster than frames can be drawn and written: its updates
// collapse while a frame is taken, so frames are dropped instead of piling up.
TEST_F(ViewMovie, TheToggleStartsAndStopsAndSlowFramesAreDropped) {
    std::atomic<bool> running{true};
    std::atomic<int> posted{0};
    rec->computationRunning = [&] { return running.load(); };
    std::thread worker([&] {
        // Bursts of updates: however the threads are scheduled on a loaded machine, many more
        // updates arrive than frames can be taken.
        while (running) {
            for (int i = 0; i < 20; ++i) {
                view->OnUpdate(nullptr, kHintComputationProgress, nullptr);
                ++posted;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    rec->Recording().OnSaveMovie();
    ASSERT_TRUE(rec->Recording().Active());
    EXPECT_TRUE(pane);
    const bool got = Pump([&] { return rec->Recording().Recorder().frameIndex >= 10; });
    rec->Recording().OnSaveMovie();
    running = false;
    worker.join();
    ASSERT_TRUE(got);
    EXPECT_FALSE(rec->Recording().Active());
    EXPECT_FALSE(pane);
    EXPECT_FALSE(rec->Recording().MenuChecked());
    const int n = CheckMovie("run0", 324, 244);
    EXPECT_GE(n, 10);
    EXPECT_LT(n, posted.load() / 2);
    // The last frame, as its file holds it, for the screens folder.
    const char* screens = std::getenv("ZUN_SCREENS_DIR");
    const fs::path out = fs::path(screens && *screens ? screens : "screens");
    fs::create_directories(out);
    char jpg[32];
    std::snprintf(jpg, sizeof jpg, "run0_%06d.jpg", n - 1);
    QImage last(QString::fromStdString((dir.path / jpg).string()));
    EXPECT_TRUE(last.save(QString::fromStdString((out / "view3d-movie-frame.png").string())));
}

}  // namespace
}  // namespace zun
