#include "uitest.h"
#include "view3d/ui/zunview.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sched.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <osg/Notify>
#include <osgDB/ReadFile>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "document/docclasses.h"
#include "document/docsettings.h"
#include "document/zundoc.h"
#include "model/zunchan.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"
#include "tree/displaytree.h"
#include "tree/slicestepping.h"
#include "view3d/displayfill.h"
#include "view3d/processorset.h"
#include "view3d/ui/raytrace.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/updatehints.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

QApplication* App() {
    static int argc = 1;
    static char name[] = "zunview_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        osg::setNotifyLevel(osg::FATAL);
        return new QApplication(argc, argv);
    }();
    return app;
}

bool HaveDisplay() {
    return std::getenv("DISPLAY") && *std::getenv("DISPLAY");
}

fs::path Scratch(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("zun_view3d_" + std::to_string(::getpid())) / name;
    fs::create_directories(p);
    return p;
}

std::string Screens() {
    const char* d = std::getenv("ZUN_SCREENS_DIR");
    const std::string dir = d ? d : ZUN_SCREENS_DIR;
    fs::create_directories(dir);
    return dir;
}

template <class F>
bool PumpUntil(F done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// The example phantom, computed once for all tests.
struct Phantom {
    HeadlessPrompt prompt;
    QueuedMainFrameChannel frame;
    std::unique_ptr<CZunDoc> doc;
    bool ok = false;

    Phantom() {
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, &frame});
        bool ended = false;
        frame.SetHandler([&](const FrameMessage& m) {
            if (m.kind == FrameMsg::ComputationEnded) ended = true;
            doc->HandleFrameMessage(m);
        });
        doc->OnNewDocument();
        if (!doc->ImportTextDocument(std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt")) return;
        if (doc->OnStartComputation() != 0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!ended && std::chrono::steady_clock::now() < end) frame.WaitAndPump(5);
        ok = ended;
        frame.SetHandler({});
    }
};

Phantom& ComputedPhantom() {
    static Phantom p;
    return p;
}

class ZunViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
        App();
    }

    std::unique_ptr<CZunView> MakeView(CZunDoc* doc, int w = 480, int h = 400) {
        auto v = std::make_unique<CZunView>(doc);
        v->resize(w, h);
        v->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(v.get()));
        // The first display volume arrives through the update thread.
        EXPECT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
        v->Manipulator()->setAllowThrow(false);
        return v;
    }
};

QImage Grab(CZunView& v) {
    return v.grabFramebuffer().convertToFormat(QImage::Format_RGB888);
}

// A shown view with its own fill, without box and axes, on a background of red 40, green 60 and
// blue 80.
std::unique_ptr<CZunView> BareView(CZunDoc& doc, std::function<int(DisplayVolume&, const Dims&)> fill) {
    auto v = std::make_unique<CZunView>(&doc);
    v->fillDisplayVolume = std::move(fill);
    v->Settings().boundingBoxFlags = 0;
    v->SetAxesVisible(false);
    v->Settings().axesShown = false;
    v->SetBackgroundColour(0x00503C28);
    v->resize(320, 240);
    v->show();
    return v;
}

using test::MeanDifference;

int CountNot(const QImage& img, QRgb colour, int tolerance = 6) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (std::abs(qRed(p) - qRed(colour)) > tolerance ||
                std::abs(qGreen(p) - qGreen(colour)) > tolerance ||
                std::abs(qBlue(p) - qBlue(colour)) > tolerance)
                ++n;
        }
    return n;
}

TEST_F(ZunViewTest, PhantomInEveryRenderModeWithBoxAndAxes) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok) << "the example phantom was not computed";
    auto v = MakeView(ph.doc.get(), 560, 480);
    EXPECT_EQ(v->RunAnimationState(), 24);
    std::vector<QImage> shots;
    for (int mode = 0; mode <= 4; ++mode) {
        // The phantom's display opacity stays low: the surface is drawn where it is reached.
        v->Settings().isoValue = 0.04f;
        v->SetRenderMode(mode);
        const QImage img = Grab(*v);
        ASSERT_FALSE(img.isNull());
        img.save(QString::fromStdString(Screens() + "/view3d-mode" + std::to_string(mode) + ".png"));
        // The volume covers a good part of the centre of the view.
        const QImage centre = img.copy(img.width() / 3, img.height() / 3, img.width() / 3, img.height() / 3);
        EXPECT_GT(CountNot(centre, qRgb(0, 0, 0)), centre.width() * centre.height() / 10) << "mode " << mode;
        shots.push_back(img);
    }
    // Each mode draws its own picture.
    for (int a = 0; a < 5; ++a)
        for (int b = a + 1; b < 5; ++b) EXPECT_NE(shots[a], shots[b]) << a << " vs " << b;
    v->window()->grab().save(QString::fromStdString(Screens() + "/view3d.png"));
}

// The processors the test program was started on and the processor count OpenMP (and with it
// the computation's thread count) goes by, read before any view exists.
std::vector<int> ThreadProcessors() {
    cpu_set_t set;
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return cpus;
    for (int i = 0; i < CPU_SETSIZE; ++i)
        if (CPU_ISSET(i, &set)) cpus.push_back(i);
    return cpus;
}
const std::vector<int> kStartProcessors = ThreadProcessors();
const int kStartOmpProcessors = omp_get_num_procs();

// A drawing view leaves the UI thread on the processors the program was started with (all of
// them, or those a user chose with taskset): the computation's worker and every OpenMP team
// started from it inherit that set, and their thread count stays what it was.
TEST_F(ZunViewTest, DrawingKeepsTheThreadOnTheStartingProcessors) {
    EXPECT_EQ(StartingProcessors(), kStartProcessors);
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.ResizeVolume({8, 8, 8}, {0, 0, 0}), 0);
    auto v = MakeView(&doc);
    ASSERT_FALSE(Grab(*v).isNull());
    EXPECT_EQ(ThreadProcessors(), kStartProcessors);
    EXPECT_EQ(omp_get_num_procs(), kStartOmpProcessors);
    // A second view realised after the first changes nothing either.
    auto second = MakeView(&doc);
    ASSERT_FALSE(Grab(*second).isNull());
    EXPECT_EQ(ThreadProcessors(), kStartProcessors);
    EXPECT_EQ(omp_get_num_procs(), kStartOmpProcessors);
}

// Filling the display volume runs inside a Qt event: running out of memory there must show the
// insufficient-memory message and leave the program, the view and the document alive.
TEST_F(ZunViewTest, OutOfMemoryWhileFillingShowsTheMessageAndKeepsTheDocument) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    bool fail = true;
    auto v = BareView(doc, [&](DisplayVolume& vol, const Dims&) {
        std::fill(vol.Data(), vol.Data() + vol.GetNumVoxels(), 0xFF0000FFu);  // half done, then out
        if (fail) throw std::bad_alloc();
        return 16;
    });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return !prompt.Requests().empty(); }));
    EXPECT_EQ(prompt.Requests().front().text, "Insufficient memory while drawing the 3-D view.");
    EXPECT_FALSE(doc.viewsUpdating);
    EXPECT_EQ(doc.GetSample().GetDims(), (Dims{16, 16, 16}));
    // Nothing of the half-filled volume is shown.
    EXPECT_EQ(CountNot(Grab(*v), qRgb(40, 60, 80), 1), 0);
    // The next update draws again.
    fail = false;
    doc.UpdateAllViews(nullptr, kUpdateData);
    ASSERT_TRUE(PumpUntil([&] { return v->RunAnimationState() == 16; }));
    EXPECT_GT(CountNot(Grab(*v), qRgb(40, 60, 80)), 0);
    EXPECT_EQ(prompt.Requests().size(), 1u);
}

// A grid with an empty axis leaves the scene without the tile whose image pointed into the freed
// display volume, and draws nothing; the next grid is drawn again.
TEST_F(ZunViewTest, AGridWithAnEmptyAxisLeavesNoImageOverFreedVoxels) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    auto v = BareView(doc, [](DisplayVolume& vol, const Dims&) {
        std::fill(vol.Data(), vol.Data() + vol.GetNumVoxels(), 0xFF0000FFu);
        return 16;
    });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 0, 16}), 1);
    doc.UpdateAllViews(nullptr, kUpdateData);
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() == nullptr; }));
    EXPECT_EQ(v->GetDisplayVolume().GetNumVoxels(), 0u);
    QTest::qWait(50);
    EXPECT_EQ(CountNot(Grab(*v), qRgb(40, 60, 80), 1), 0);
    ASSERT_EQ(doc.GetSample().Resize(Dims{8, 8, 8}), 1);
    doc.UpdateAllViews(nullptr, kUpdateData);
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    ASSERT_TRUE(PumpUntil([&] { return CountNot(Grab(*v), qRgb(40, 60, 80)) > 0; }));
}

// The "Display maxSize" preference reaches the display volume at the first build and again after
// a change.
TEST_F(ZunViewTest, DisplayMaxSizeReducesTheDisplayVolume) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{128, 128, 64}), 1);
    std::uint64_t maxSize = 100000;
    auto v = std::make_unique<CZunView>(&doc);
    v->displayMaxSize = [&] { return maxSize; };
    v->resize(320, 240);
    v->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    const Dims reduced = v->GetDisplayVolume().GetDims();
    EXPECT_LE(v->GetDisplayVolume().GetNumVoxels(), 110000u);
    EXPECT_GT(v->GetDisplayVolume().GetNumVoxels(), 80000u);
    EXPECT_EQ(reduced[0], reduced[1]);
    EXPECT_NEAR(reduced[2] * 2, reduced[0], 1);
    // The preference changed: the application updates the views with the data hint.
    maxSize = 27000000;
    doc.UpdateAllViews(nullptr, kUpdateData);
    ASSERT_TRUE(PumpUntil([&] { return v->GetDisplayVolume().GetDims() == Dims{128, 128, 64}; }));
}

// Every stereo switch restarts the render thread with a redraw: each one paints a new frame,
// however busy the thread was when it came.
TEST_F(ZunViewTest, EveryStereoSwitchPaintsAFrame) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    auto v = MakeView(&doc);
    for (int click = 1; click <= 8; ++click) {
        // A frame in flight, as a drag leaves one: the render thread waits for this thread to
        // paint it while the switch queues its stop and its redraw.
        const auto painted = v->FramesPainted();
        v->RequestRedraw(kRedrawOnce);
        for (int wait = 0; wait < 2000 && !v->Renderer().Pending().empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        v->ToggleSplitHorizontal();
        ASSERT_TRUE(PumpUntil([&] { return v->FramesPainted() >= painted + 2; }, 5000)) << "click " << click;
        EXPECT_EQ(v->Settings().stereoMode, click % 2 == 1 ? 3 : 2);
    }
}

// The Home key gives the view the panel's Home button gives.
TEST_F(ZunViewTest, HomeKeyAndHomeButtonGiveTheSameView) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    auto v = MakeView(&doc);
    v->Manipulator()->setRotation(osg::Quat(0.7, osg::Vec3d(0.3, 0.8, 0.1)));
    v->Manipulator()->setDistance(v->Manipulator()->getDistance() * 1.7);
    v->ResetRotation();
    const osg::Quat button = v->Manipulator()->getRotation();
    const double buttonDistance = v->Manipulator()->getDistance();
    v->Manipulator()->setRotation(osg::Quat(0.7, osg::Vec3d(0.3, 0.8, 0.1)));
    v->Manipulator()->setDistance(buttonDistance * 1.7);
    QTest::keyClick(v.get(), Qt::Key_Home);
    const osg::Quat key = v->Manipulator()->getRotation();
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(key[i], button[i], 1e-12) << i;
    EXPECT_NEAR(v->Manipulator()->getDistance(), buttonDistance, 1e-12 * buttonDistance);
}

// Two windows of one document: each view writes and reads its own record, and closing one of
// them leaves the scene library's message handler to the other.
TEST_F(ZunViewTest, EveryViewKeepsItsOwnRecordAndTheMessageHandlerStays) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    doc.WindowRecords().resize(2);
    doc.WindowRecords()[1].view.renderMode = 2;
    doc.WindowRecords()[1].view.background = 0x00112233;
    auto first = MakeView(&doc);
    osg::NotifyHandler* handler = osg::getNotifyHandler();
    auto second = MakeView(&doc);
    EXPECT_EQ(osg::getNotifyHandler(), handler);
    EXPECT_EQ(first->Settings().renderMode, 0);
    EXPECT_EQ(second->Settings().renderMode, 2);
    EXPECT_EQ(second->Settings().background, 0x00112233u);
    first->SetRenderMode(3);
    second->SetRenderMode(1);
    ASSERT_FALSE(Grab(*first).isNull());
    ASSERT_FALSE(Grab(*second).isNull());
    ASSERT_FALSE(Grab(*first).isNull());  // the first painted last
    EXPECT_EQ(doc.WindowRecords()[0].view.renderMode, 3);
    EXPECT_EQ(doc.WindowRecords()[1].view.renderMode, 1);
    EXPECT_EQ(doc.WindowRecords()[1].view.background, 0x00112233);
    second.reset();
    EXPECT_EQ(osg::getNotifyHandler(), handler);
}

// A scripted recording with a slice effect steps the tree's slices; afterwards the view shows
// what it showed before, not the last stepped state.
TEST_F(ZunViewTest, ViewAfterASliceEffectShowsWhatItShowedBefore) {
    HeadlessPrompt prompt;
    RegisterDocumentClasses();
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ZunImage& s = doc.GetSample();
    ASSERT_EQ(s.Resize(Dims{24, 24, 24}), 1);
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00C000);
    imtype* iron = s.FindChan("Iron")->Data();
    for (int z = 0; z < 24; ++z)
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                iron[(z * 24 + y) * 24 + x] = std::abs(x - 12) < 8 && std::abs(y - 12) < 8 ? 16383 : 0;
    DisplayTree tree;
    tree.Build(s, "t");
    SliceStepping stepping(tree);
    RefreshQueue queue;
    auto v = std::make_unique<CZunView>(&doc);
    v->SetTree(&tree);
    // Owned by the view, as the document window makes it.
    v->SetAnimation(new RunAnimationDriver(*v, tree, stepping, queue));
    for (int c = 0; c < tree.ChannelCount(); ++c) tree.SetItemSelected(tree.Channel(c), true);
    v->Settings().boundingBoxFlags = 0;
    v->SetAxesVisible(false);
    v->Settings().axesShown = false;
    v->resize(320, 240);
    v->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    v->Manipulator()->setAllowThrow(false);
    // The first frames may still settle; a second grab equal to the first is the picture.
    QImage before = Grab(*v);
    for (int i = 0; i < 20 && MeanDifference(before, Grab(*v)) > 0; ++i) before = Grab(*v);
    ASSERT_GT(CountNot(before, qRgb(0, 0, 0)), 1000);
    v->StepSliceAnimation(-1, false);
    v->StepSliceAnimation(2, false);
    EXPECT_GT(MeanDifference(Grab(*v), before), 1.0);
    v->StepSliceAnimation(-2, false);
    EXPECT_LT(MeanDifference(Grab(*v), before), 0.05);
}

// A sample whose display volume is all transparent: with box and axes off only the background
// is left, in every mode.
TEST_F(ZunViewTest, TransparentVolumeShowsOnlyTheBackground) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{16, 16, 16}), 1);
    auto v = BareView(doc, [](DisplayVolume& vol, const Dims&) {
        std::fill(vol.Data(), vol.Data() + vol.GetNumVoxels(), 0u);
        return 16;
    });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    for (int mode : {0, 1, 2, 3, 4}) {
        v->SetRenderMode(mode);
        const QImage img = Grab(*v);
        EXPECT_EQ(CountNot(img, qRgb(40, 60, 80), 1), 0) << "mode " << mode;
    }
}

TEST_F(ZunViewTest, EyeInsideTheBoxStillRenders) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    ASSERT_EQ(doc.GetSample().Resize(Dims{32, 32, 32}), 1);
    auto v = std::make_unique<CZunView>(&doc);
    v->fillDisplayVolume = [](DisplayVolume& vol, const Dims&) {
        // A faint orange fog everywhere.
        std::fill(vol.Data(), vol.Data() + vol.GetNumVoxels(), 0x100080FFu);
        return 32;
    };
    v->Settings().boundingBoxFlags = 0;
    v->resize(320, 240);
    v->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    ASSERT_TRUE(PumpUntil([&] { return v->GetVolumeLayer() != nullptr; }));
    v->Manipulator()->setAllowThrow(false);
    // The camera orbits the centre at (1, 1, 1): a short distance puts the eye inside the box.
    v->Manipulator()->setMinimumDistance(0.001, false);
    v->Manipulator()->setDistance(2.0);
    const QImage img = Grab(*v);
    img.save(QString::fromStdString(Screens() + "/view3d-inside.png"));
    const QImage centre = img.copy(img.width() / 4, img.height() / 4, img.width() / 2, img.height() / 2);
    EXPECT_GT(CountNot(centre, qRgb(0, 0, 0)), centre.width() * centre.height() * 9 / 10);
}

TEST_F(ZunViewTest, SceneFilesAreReadBackByTheConverter) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    auto v = MakeView(ph.doc.get());
    const fs::path dir = Scratch("scene");
    std::vector<std::string> errors;
    const std::string osgt = (dir / "scene.osgt").string();
    ASSERT_EQ(v->ExportOsg(osgt, errors), 0) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(fs::exists(dir / "scene.dds"));
    std::stringstream text;
    text << std::ifstream(osgt).rdbuf();
    EXPECT_NE(text.str().find("scene.dds"), std::string::npos);
    const std::string osgb = (dir / "scene.osgb").string();
    ASSERT_EQ(v->ExportOsg(osgb, errors), 0);
    for (const std::string& in : {osgt, osgb}) {
        const std::string out = in + ".back.osgt";
        const std::string cmd =
            "cd '" + dir.string() + "' && osgconv '" + in + "' '" + out + "' > /dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << in;
        EXPECT_TRUE(fs::exists(out));
    }
    // The image alone, and what is refused.
    ASSERT_EQ(v->ExportOsg((dir / "vol.dds").string(), errors), 0);
    EXPECT_TRUE(fs::exists(dir / "vol.dds"));
    EXPECT_EQ(v->ExportOsg((dir / "scene.png").string(), errors), 1);
    EXPECT_EQ(errors.back(), "Error on unsupported file output " + (dir / "scene.png").string());
    EXPECT_EQ(v->ExportOsg((dir / "missing" / "scene.osgb").string(), errors), 1);
}

TEST_F(ZunViewTest, SnapshotsAreImagesThatPythonReads) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    auto v = MakeView(ph.doc.get(), 400, 300);
    const fs::path dir = Scratch("snap");
    for (const char* name : {"shot.jpg", "shot.bmp", "shot.png"}) {
        const std::string path = (dir / name).string();
        ASSERT_TRUE(v->WriteSnapshot(path)) << name;
        const double dpr = v->devicePixelRatioF();
        const std::string cmd =
            std::string(ZUN_PYTHON) +
            " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.load(); "
            "w, h = im.size; c = im.convert('RGB').getpixel((w // 2, h // 2)); "
            "sys.exit(0 if (w, h) == (int(sys.argv[2]), int(sys.argv[3])) and sum(c) > 30 else 1)\" '" +
            path + "' " + std::to_string(int(400 * dpr)) + " " + std::to_string(int(300 * dpr));
        EXPECT_EQ(std::system(cmd.c_str()), 0) << name;
    }
    // No stray temporary files, and a folder that does not exist fails cleanly.
    int files = 0;
    for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 3);
    EXPECT_FALSE(v->WriteSnapshot((dir / "none" / "x.jpg").string()));
}

TEST_F(ZunViewTest, ReopenedDocumentShowsTheSameCamera) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    const fs::path file = Scratch("reopen") / "phantom.zun";
    osg::Quat rotation;
    double distance = 0;
    {
        auto v = MakeView(ph.doc.get());
        v->Manipulator()->setRotation(osg::Quat(0.6, osg::Vec3d(0.2, 0.9, 0.4)));
        v->Manipulator()->setDistance(v->Manipulator()->getDistance() * 1.3);
        v->SetRenderMode(2);
        rotation = v->Manipulator()->getRotation();
        distance = v->Manipulator()->getDistance();
        ph.doc->WindowRecords().resize(1);
        ph.doc->WindowRecords()[0].view = v->MakeRecord();
        // The tree's record: one item for the document, each channel and each of its slices.
        std::size_t items = 1;
        for (int c = 0; c < ph.doc->GetSample().GetChanCount(); ++c)
            items += 1 + static_cast<std::size_t>(ph.doc->GetSample().GetChan(c)->GetSliceCount());
        ph.doc->WindowRecords()[0].tree.items.resize(items);
        ASSERT_TRUE(ph.doc->OnSaveDocument(file.string()));
    }
    HeadlessPrompt prompt;
    CZunDoc back(DocServices{&prompt, nullptr, nullptr});
    ASSERT_TRUE(back.OnOpenDocument(file.string()));
    auto v = MakeView(&back);
    EXPECT_EQ(v->Settings().renderMode, 2);
    const osg::Quat q = v->Manipulator()->getRotation();
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], rotation[i], 1e-9);
    EXPECT_NEAR(v->Manipulator()->getDistance(), distance, 1e-9 * distance);
    ph.doc->WindowRecords().clear();
}

// A quick drag released while still moving throws the trackball, which keeps the view turning.
// Whether the trackball takes a drag as a throw depends on the event times, which a busy machine
// stretches: the drag is repeated until it spins.
bool ThrowIntoSpin(CZunView& v) {
    v.Manipulator()->setAllowThrow(true);
    for (int attempt = 0; attempt < 6; ++attempt) {
        QTest::mousePress(&v, Qt::LeftButton, {}, QPoint(100, 120));
        for (int x = 110; x <= 200; x += 10) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, 120), v.mapToGlobal(QPointF(x, 120)), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&v, &move);
        }
        QTest::mouseRelease(&v, Qt::LeftButton, {}, QPoint(230, 120));
        const auto painted = v.FramesPainted();
        if (PumpUntil([&] { return v.FramesPainted() > painted + 3; }, 3000)) return true;
    }
    return false;
}

TEST_F(ZunViewTest, ClosingWhileSpinningEndsBothThreads) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    auto v = MakeView(ph.doc.get(), 320, 240);
    ASSERT_TRUE(ThrowIntoSpin(*v));
    EXPECT_TRUE(v->RenderThreadRunning());
    ph.doc->UpdateAllViews(nullptr, 16u);
    v.reset();  // must not hang or crash while the thrown trackball keeps it spinning
    QCoreApplication::processEvents();
    SUCCEED();
}

TEST_F(ZunViewTest, AHiddenSpinningViewStopsDrawing) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    auto v = MakeView(ph.doc.get(), 320, 240);
    ASSERT_TRUE(ThrowIntoSpin(*v));
    v->hide();
    // The spin ends with the next frame it would have drawn; nothing is drawn after.
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto drawn = v->Renderer().FramesDrawn();
            PumpUntil([] { return false; }, 100);
            return v->Renderer().FramesDrawn() == drawn;
        },
        3000));
    const auto drawn = v->Renderer().FramesDrawn();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(v->Renderer().FramesDrawn(), drawn);
}

// A thrown view that stops spinning because nobody sees it (minimised or hidden) must not go on
// turning by itself once it shows again: every later redraw (the axes toggled) leaves the camera
// where it was.
TEST_F(ZunViewTest, AViewThatStoppedSpinningUnseenStaysStillWhenRedrawn) {
    Phantom& ph = ComputedPhantom();
    ASSERT_TRUE(ph.ok);
    for (const bool minimise : {true, false}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        auto v = MakeView(ph.doc.get(), 320, 240);
        ASSERT_TRUE(ThrowIntoSpin(*v));
        if (minimise)
            v->showMinimized();
        else
            v->hide();
        ASSERT_TRUE(PumpUntil(
            [&] {
                const auto drawn = v->Renderer().FramesDrawn();
                PumpUntil([] { return false; }, 100);
                return v->Renderer().FramesDrawn() == drawn;
            },
            3000));
        PumpUntil([] { return false; }, 300);  // the pause the throw would make up for
        v->showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
        PumpUntil([] { return false; }, 100);
        const osg::Quat rest = v->Manipulator()->getRotation();
        for (int i = 0; i < 2; ++i) {
            v->OnViewAxes();
            const auto painted = v->FramesPainted();
            ASSERT_TRUE(PumpUntil([&] { return v->FramesPainted() > painted; }, 3000));
            PumpUntil([] { return false; }, 100);
        }
        const osg::Quat now = v->Manipulator()->getRotation();
        EXPECT_NEAR((now - rest).length(), 0.0, 1e-9);
    }
}

TEST(VolumeShaders, TheLibrarysShaderFileLookupsFindTheBuiltInTexts) {
    InstallBuiltInVolumeShaders();
    osg::ref_ptr<osg::Shader> vert = osgDB::readRefShaderFile(osg::Shader::VERTEX, "shaders/volume.vert");
    ASSERT_TRUE(vert.valid());
    EXPECT_EQ(vert->getShaderSource(), VolumeVertexShader());
    osg::ref_ptr<osg::Shader> frag =
        osgDB::readRefShaderFile(osg::Shader::FRAGMENT, "shaders/volume_lit.frag");
    ASSERT_TRUE(frag.valid());
    EXPECT_EQ(frag->getType(), osg::Shader::FRAGMENT);
    // Other shader files still go to the library's readers.
    EXPECT_FALSE(osgDB::readRefShaderFile(osg::Shader::VERTEX, "shaders/no-such.vert").valid());
}

}  // namespace
}  // namespace zun
