#include "app/ui/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QResizeEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWindow>

#include "app/startup.h"
#include "app/ui/childframe.h"
#include "app/ui/helpwindow.h"
#include "app/ui/viewcommands.h"
#include "app/ui/zunapp.h"
#include "app/version.h"
#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "foundation/ui/dialoghelpers.h"
#include "plot/ui/usernotesdialog.h"
#include "tools/ui/selectgpudialog.h"
#include "view3d/recordingtexts.h"
#include "view3d/ui/animationrecording.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"

namespace zun {

namespace {
// The View menu's colour-scheme entries, in the order of the schemes (viewcmd::kRgb first).
constexpr const char* kSchemeActions[3] = {"viewSchemeRgb", "viewSchemeRybNormal", "viewSchemeRybPaint"};

// The program's icon, drawn rather than shipped: a volume of three coloured slabs in a box.
QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 16.0;
        const QColor colours[3] = {QColor(0x30, 0x50, 0xE0), QColor(0xE0, 0x80, 0x30),
                                   QColor(0x40, 0xB0, 0x60)};
        for (int i = 0; i < 3; ++i) p.fillRect(QRectF((1 + 4.5 * i) * s, 3 * s, 4.5 * s, 11 * s), colours[i]);
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), std::max(1.0, s)));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1 * s, 3 * s, 13.5 * s, 11 * s));
        p.drawLine(QPointF(1 * s, 3 * s), QPointF(3 * s, 1 * s));
        p.drawLine(QPointF(14.5 * s, 3 * s), QPointF(15.5 * s, 1 * s));
        p.drawLine(QPointF(3 * s, 1 * s), QPointF(15.5 * s, 1 * s));
        icon.addPixmap(pm);
    }
    return icon;
}
}  // namespace

CMainFrame::CMainFrame(CZunApp& app) : app_(app) {
    setWindowTitle(QString::fromStdString(GetVersionString("ProductName")));
    // Every window of the program, the document windows included, carries the program's icon.
    QApplication::setWindowIcon(ProgramIcon());
    setWindowIcon(QApplication::windowIcon());
    mdi_ = new QMdiArea(this);
    mdi_->setViewMode(QMdiArea::SubWindowView);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    mdi_->installEventFilter(this);
    BuildMenus();
    statusBar()->showMessage("Ready");
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (w) MakeCurrent(w);
        CurrentChanged();
    });
    setAcceptDrops(true);
    resize(1200, 800);
    // The window manager places it; the frame it adds must not take the status bar off the screen.
    // Offscreen there is no window manager, and the screen is only nominal.
    if (QGuiApplication::platformName() != "offscreen") KeepFrameOnScreen(this, this);
}

bool CMainFrame::event(QEvent* event) {
    // Qt makes the native window anew when the first OpenGL view arrives, as a window of the
    // desktop. Put back before it is shown, it is never seen by a window manager, which would
    // otherwise take it up and, letting it go, give it back its old place over the one the
    // controller gives it ("windowpos").
    if (event->type() == QEvent::WinIdChange && remoteParent_ != 0) KeepEmbedded();
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Seen before the area lays out its scroll bars for the new size.
    if (watched == mdi_ && event->type() == QEvent::Resize) {
        const QSize old = static_cast<QResizeEvent*>(event)->oldSize();
        if (old.isValid()) FitChildrenToArea(old - (mdi_->size() - ChildArea()));
    }
    if (event->type() == QEvent::MouseButtonPress && qobject_cast<QMdiSubWindow*>(watched))
        HoverWherePressed(static_cast<QWidget*>(watched), *static_cast<QMouseEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::HoverWherePressed(QWidget* window, const QMouseEvent& press) {
    // A document window acts on a press by the title-bar button or border its last pointer move
    // found, and forgets it when the pointer leaves. A question shown over it (its close button's
    // "Stop computation?", "Save changes?") takes the pointer away, and the pointer's return after
    // Escape brings no move: the next click on the close button, the mouse kept still, would hit
    // nothing. The press is found again where it lands, by the move the pointer made to it.
    QMouseEvent move(QEvent::MouseMove, press.position(), press.scenePosition(), press.globalPosition(),
                     Qt::NoButton, Qt::NoButton, press.modifiers(), press.pointingDevice());
    QCoreApplication::sendEvent(window, &move);
}

QSize CMainFrame::ChildArea() const {
    return mdi_->contentsRect().size();
}

void CMainFrame::FitChildrenToArea(const QSize& oldArea) {
    const QSize area = ChildArea();
    if (area.width() >= oldArea.width() && area.height() >= oldArea.height()) return;
    const QRect before(QPoint(0, 0), oldArea), now(QPoint(0, 0), area);
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
        if (w->isMaximized() || w->isMinimized() || !w->isVisible()) continue;
        const QRect g = w->geometry();
        if (!before.contains(g) || now.contains(g)) continue;
        const QSize size = g.size().boundedTo(area);
        const ChildPosition at =
            FitChildPosition(g.x(), g.y(), size.width(), size.height(), area.width(), area.height());
        w->setGeometry(at.x, at.y, size.width(), size.height());
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    app_.OpenDocumentFiles(paths);
    event->acceptProposedAction();
}

QAction* CMainFrame::Add(QMenu* menu, const char* name, const QString& text, const QKeySequence& key) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    menu->addAction(a);
    return a;
}

QAction* CMainFrame::Action(const char* name) const {
    return findChild<QAction*>(name);
}

void CMainFrame::BuildMenus() {
    CZunApp* app = &app_;
    fileMenu_ = menuBar()->addMenu("&File");
    connect(Add(fileMenu_, "fileNew", "&New", QKeySequence::New), &QAction::triggered, app,
            [app] { app->OnFileNew(); });
    connect(Add(fileMenu_, "fileOpen", "&Open...", QKeySequence::Open), &QAction::triggered, app,
            [app] { app->OnFileOpen(); });
    connect(Add(fileMenu_, "fileClose", "&Close"), &QAction::triggered, app,
            [app] { app->CloseDocument(app->ActiveDocument()); });
    connect(Add(fileMenu_, "fileSave", "&Save", QKeySequence::Save), &QAction::triggered, app,
            [app] { app->OnFileSave(app->ActiveDocument()); });
    connect(Add(fileMenu_, "fileSaveAs", "Save &As..."), &QAction::triggered, app,
            [app] { app->OnFileSaveAs(app->ActiveDocument()); });
    fileMenu_->addSeparator();
    connect(Add(fileMenu_, "fileExportBinary", "Export Binary Data File..."), &QAction::triggered, app,
            [app] { app->OnExportBinaryDataFile(app->ActiveDocument()); });
    connect(Add(fileMenu_, "fileCompare", "Compare..."), &QAction::triggered, app,
            [app] { app->OnCompare(); });
    connect(Add(fileMenu_, "fileRecordAnimation", "Record Animation..."), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            if (ViewAnimationRecording* rec = AnimationRecordingOf(child->ViewPane()))
                rec->OnRecordAnimation();
        UpdateCommandUI();
    });
    connect(Add(fileMenu_, "fileStopRecording", "Stop Recording"), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            if (ViewAnimationRecording* rec = AnimationRecordingOf(child->ViewPane())) rec->OnStopRecording();
        UpdateCommandUI();
    });
    connect(Add(fileMenu_, "fileSaveSnapshot", "Save Snapshot..."), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) SaveViewSnapshot(app_, *child);
    });
    recentSeparator_ = fileMenu_->addSeparator();
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* a = Add(fileMenu_, ("fileRecent" + std::to_string(i + 1)).c_str(), "");
        connect(a, &QAction::triggered, app, [app, i] { app->OnOpenRecentFile(i); });
        recent_.push_back(a);
    }
    fileMenu_->addSeparator();
    connect(Add(fileMenu_, "appExit", "E&xit", QKeySequence::Quit), &QAction::triggered, this,
            &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    connect(Add(edit, "appPreferences", "Preferences..."), &QAction::triggered, app,
            [app] { app->OnPreferences(); });

    QMenu* view = menuBar()->addMenu("&View");
    QAction* toolbarToggle = Add(view, "viewToolbar", "&Toolbar");
    QAction* statusToggle = Add(view, "viewStatusBar", "&Status Bar");
    view->addSeparator();
    connect(Add(view, "viewLog", "&Log Window"), &QAction::triggered, app,
            [app] { app->ShowLog(app->ActiveDocument()); });
    connect(Add(view, "viewNotes", "&Notes..."), &QAction::triggered, this, [this] {
        if (CZunDoc* doc = app_.ActiveDocument()) ShowUserNotes(*doc, this);
    });
    view->addSeparator();
    BuildViewMenuCommands(view);
    view->addSeparator();
    connect(Add(view, "viewWeb3D", "Web3D..."), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            if (auto* v = qobject_cast<CZunView*>(child->ViewPane())) v->ExportWeb3D();
    });
    connect(Add(view, "viewControlPanel", "Display Control Panel"), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            if (auto* v = qobject_cast<CZunView*>(child->ViewPane())) v->OnDisplayControlPanel();
    });

    QMenu* comp = menuBar()->addMenu("&Computation");
    connect(Add(comp, "computationSetup", "Setup Computation Method..."), &QAction::triggered, app,
            [app] { app->OnSetupComputation(app->ActiveDocument()); });
    connect(Add(comp, "computationStart", "Start Computation...", Qt::Key_F5), &QAction::triggered, app,
            [app] { app->OnStartComputation(app->ActiveDocument()); });
    connect(Add(comp, "computationStop", "Stop Computation"), &QAction::triggered, app,
            [app] { app->OnStopComputation(app->ActiveDocument()); });
    connect(Add(comp, "computationDevices", "Select Computation Device..."), &QAction::triggered, this,
            [this] {
                if (CZunDoc* doc = app_.ActiveDocument())
                    RunSelectComputationDevices(*doc, app_.GetPrompt(), this);
            });
    QAction* saveMovie = Add(comp, "computationSaveMovie", recmsg::kSaveMovie);
    saveMovie->setCheckable(true);
    connect(saveMovie, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild())
            if (ViewMovieRecording* rec = MovieRecordingOf(child->ViewPane())) rec->Recording().OnSaveMovie();
        UpdateCommandUI();
    });
    comp->addSeparator();
    QAction* saveAfter = Add(comp, "computationSaveAfter", "Save After Computation");
    saveAfter->setCheckable(true);
    connect(saveAfter, &QAction::triggered, app,
            [app](bool on) { app->OnSaveAfterComputation(app->ActiveDocument(), on); });
    QAction* exitAfter = Add(comp, "computationExitAfter", "Exit After Computation");
    exitAfter->setCheckable(true);
    connect(exitAfter, &QAction::triggered, app,
            [app](bool on) { app->OnExitAfterComputation(app->ActiveDocument(), on); });

    QMenu* window = menuBar()->addMenu("&Window");
    windowMenu_ = window;
    connect(Add(window, "windowNew", "&New Window"), &QAction::triggered, app, [app] { app->OnWindowNew(); });
    connect(Add(window, "windowCascade", "&Cascade"), &QAction::triggered, this,
            &CMainFrame::CascadeChildren);
    connect(Add(window, "windowTile", "&Tile"), &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
    connect(window, &QMenu::aboutToShow, this, &CMainFrame::FillWindowList);

    QMenu* help = menuBar()->addMenu("&Help");
    connect(Add(help, "helpTopics", "&Help Topics", QKeySequence::HelpContents), &QAction::triggered, this,
            [this] { ShowHelpTopics(this, QCoreApplication::applicationDirPath(), app_.GetPrompt()); });
    help->addSeparator();
    connect(Add(help, "helpCheckUpdate", "&Check update"), &QAction::triggered, app,
            [app] { app->OnCheckUpdate(); });
    connect(Add(help, "helpAbout", "&About Zun..."), &QAction::triggered, app, [app] { app->OnAbout(); });

    toolbar_ = addToolBar("Standard");
    toolbar_->setObjectName("standardToolbar");
    toolbar_->addAction(Action("fileNew"));
    toolbar_->addAction(Action("fileOpen"));
    toolbar_->addAction(Action("fileSave"));
    toolbar_->addSeparator();
    toolbar_->addAction(Action("computationStart"));
    toolbar_->addAction(Action("computationStop"));
    const std::pair<const char*, const char*> tips[] = {
        {"fileNew", "Create a new document"},
        {"fileOpen", "Open a document or a text or binary data file"},
        {"fileSave", "Save the active document"},
        {"computationStart", "Start the computation set up for the active document"},
        {"computationStop", "Stop the running computation"},
    };
    for (const auto& [name, tip] : tips) {
        QAction* a = Action(name);
        const QString keys = a->shortcut().toString(QKeySequence::NativeText);
        a->setToolTip(keys.isEmpty() ? QString(tip) : QString("%1 (%2)").arg(tip, keys));
        a->setStatusTip(tip);
    }

    toolbarToggle->setCheckable(true);
    toolbarToggle->setChecked(true);
    connect(toolbarToggle, &QAction::toggled, toolbar_, &QWidget::setVisible);
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    for (QMenu* m : {fileMenu_, edit, view, comp, window, help})
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    RebuildRecentFiles();
    UpdateCommandUI();
}

void CMainFrame::BuildViewMenuCommands(QMenu* view) {
    QAction* axes = Add(view, "viewAxes", "Axes");
    axes->setCheckable(true);
    connect(axes, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) ToggleViewAxes(*child);
        UpdateCommandUI();
    });
    QAction* box = Add(view, "viewBoundingBox", "Bounding Box");
    box->setCheckable(true);
    connect(box, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) ToggleViewBoundingBox(*child);
        UpdateCommandUI();
    });
    connect(Add(view, "viewBackground", "Set Background Colour..."), &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) ChooseViewBackground(*child);
    });
    view->addSeparator();
    const char* const texts[3] = {"RGB Colour Scheme", "RYB Normal Colour Scheme", "RYB Paint Colour Scheme"};
    for (int i = 0; i < 3; ++i) {
        QAction* a = Add(view, kSchemeActions[i], texts[i]);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] {
            if (CChildFrame* child = ActiveChild()) SetViewColourScheme(*child, i);
            UpdateCommandUI();
        });
    }
}

void CMainFrame::UpdateViewMenuCommands() {
    const ViewCommandState s = QueryViewCommands(ActiveChild());
    for (const char* n : {"fileSaveSnapshot", "viewAxes", "viewBoundingBox", "viewBackground"})
        Action(n)->setEnabled(s.hasView);
    Action("viewAxes")->setChecked(s.hasView && s.axesShown);
    Action("viewBoundingBox")->setChecked(s.hasView && s.boxShown);
    for (int i = 0; i < 3; ++i) {
        Action(kSchemeActions[i])->setEnabled(s.hasTree);
        Action(kSchemeActions[i])->setChecked(s.hasTree && s.colourScheme == i);
    }
}

QMdiSubWindow* CMainFrame::ActiveWindow() const {
    // Not the area's active window: a disabled frame (remote control) activates none of its
    // windows, and the area then reports the one active before, or under a window manager none.
    const QList<QMdiSubWindow*> open = mdi_->subWindowList();
    for (auto it = currentOrder_.rbegin(); it != currentOrder_.rend(); ++it)
        if (*it && open.contains(it->data())) return it->data();
    if (QMdiSubWindow* w = mdi_->activeSubWindow()) return w;
    return open.isEmpty() ? nullptr : open.back();
}

void CMainFrame::MakeCurrent(QMdiSubWindow* w) {
    std::erase_if(currentOrder_, [w](const QPointer<QMdiSubWindow>& p) { return !p || p == w; });
    if (!w) return;
    currentOrder_.push_back(w);
    if (mdi_->activeSubWindow() == w) return;
    mdi_->setActiveSubWindow(w);
    // Not activated (a disabled frame): the area says nothing, the rest follows here.
    if (mdi_->activeSubWindow() != w) CurrentChanged();
}

void CMainFrame::CurrentChanged() {
    CChildFrame* c = ActiveChild();
    SetActiveZunDoc(c ? &c->Document() : nullptr);
    UpdateCommandUI();
    UpdateCaption();
}

CChildFrame* CMainFrame::ActiveChild() const {
    QMdiSubWindow* w = ActiveWindow();
    return w ? qobject_cast<CChildFrame*>(w->widget()) : nullptr;
}

std::vector<CChildFrame*> CMainFrame::Children() const {
    std::vector<CChildFrame*> out;
    for (QMdiSubWindow* w : mdi_->subWindowList())
        if (auto* c = qobject_cast<CChildFrame*>(w->widget())) out.push_back(c);
    return out;
}

int CMainFrame::TreePaneWidth() const {
    return std::max(0, app_.Profile().GetProfileInt("Settings", "TreePaneWidth", 0));
}

QMdiSubWindow* CMainFrame::AddChild(CChildFrame* child) {
    QMdiSubWindow* previous = mdi_->activeSubWindow();
    const bool maximise = IsRemoteControlled() || (previous && previous->isMaximized());
    QMdiSubWindow* w = mdi_->addSubWindow(child);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowIcon(windowIcon());
    w->installEventFilter(this);
    const QSize area = mdi_->viewport()->size();
    w->resize(area.width() * 3 / 4, area.height() * 3 / 4);
    const int userWidth = TreePaneWidth();
    if (maximise) {
        w->showMaximized();
        const int tree = std::min(userWidth > 0 ? userWidth : child->TreeContentWidth(), child->width() / 2);
        child->Splitter()->setSizes({tree, std::max(0, child->width() - tree)});
    } else {
        // Shown first: the frame's border and the child's status bar only have their sizes then.
        w->show();
        child->ApplyInitialGeometry(w, area, userWidth);
    }
    // The column the user sets is the one later windows open with.
    connect(child->Splitter(), &QSplitter::splitterMoved, this, [this, child] {
        const int width = child->Splitter()->sizes().value(0);
        if (width > 0) app_.Profile().WriteProfileInt("Settings", "TreePaneWidth", width);
    });
    MakeCurrent(w);
    return w;
}

void CMainFrame::CascadeChildren() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::StackingOrder))
        if (w->isVisible() && !w->isMinimized()) windows.push_back(w);
    if (windows.isEmpty()) return;
    const QSize area = mdi_->viewport()->size();
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, windows.front()) + 4;
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* w = windows[i];
        if (w->isMaximized()) w->showNormal();
        const ChildRect r = CascadeChildRect(i, n, area.width(), area.height(), step);
        w->setGeometry(r.x, r.y, r.width, r.height);
        w->raise();  // the stacking order stays: the active window ends on top
    }
}

void CMainFrame::FillWindowList() {
    // Rebuilt before the menu shows, so no entry of the old list is being triggered now.
    for (QAction* a : windowList_) delete a;
    windowList_.clear();
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty()) return;
    windowList_.push_back(windowMenu_->addSeparator());
    int number = 0;
    for (QMdiSubWindow* w : windows) {
        ++number;
        const QString text = number < 10 ? QString("&%1 %2").arg(number).arg(w->windowTitle())
                                         : QString("%1 %2").arg(number).arg(w->windowTitle());
        auto* a = new QAction(text, windowMenu_);
        a->setObjectName(QString("windowList%1").arg(number));
        a->setCheckable(true);
        a->setChecked(w == ActiveWindow());
        QPointer<QMdiSubWindow> target(w);
        connect(a, &QAction::triggered, this, [this, target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            MakeCurrent(target);
        });
        windowMenu_->addAction(a);
        windowList_.push_back(a);
    }
}

void CMainFrame::UpdateCaption() {
    const QString product = QString::fromStdString(GetVersionString("ProductName"));
    QMdiSubWindow* w = ActiveWindow();
    caption_ = w && !w->windowTitle().isEmpty() ? product + " - " + w->windowTitle() : product;
    if (windowTitle() != caption_) setWindowTitle(caption_);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange && !caption_.isEmpty() && windowTitle() != caption_)
        setWindowTitle(caption_);
}

void CMainFrame::StatusProgress(std::int64_t op, std::int64_t value) {
    const bool created = progressState_.Apply(op, value);
    if (created && !progress_) {
        // A second create restarts the one bar instead of adding another.
        progress_ = new QProgressBar(statusBar());
        progress_->setFixedSize(158, 18);
        statusBar()->addWidget(progress_);
        progress_->show();
    }
    if (!progressState_.exists) {
        if (progress_) {
            statusBar()->removeWidget(progress_);
            progress_->deleteLater();
        }
        progress_ = nullptr;
        return;
    }
    if (progress_) {
        // The bar's own range is an int: a huge range is scaled so that the bar still moves.
        const std::int64_t range = progressState_.range;
        const int scale = range > INT32_MAX ? static_cast<int>(range / INT32_MAX + 1) : 1;
        progress_->setRange(0, static_cast<int>(range / scale));
        progress_->setValue(static_cast<int>(std::min(progressState_.position, range) / scale));
    }
}

void CMainFrame::UpdateCommandUI() {
    CZunDoc* doc = app_.ActiveDocument();
    const bool hasDoc = doc != nullptr;
    for (const char* n :
         {"fileClose", "fileSave", "fileSaveAs", "fileExportBinary", "viewLog", "viewWeb3D", "windowNew"})
        if (QAction* a = Action(n)) a->setEnabled(hasDoc);
    if (QAction* a = Action("viewNotes")) a->setEnabled(hasDoc);
    const bool running = hasDoc && doc->GetModel().RunInProgress();
    Action("computationStart")->setEnabled(hasDoc && doc->CanStartComputation());
    Action("computationStop")->setEnabled(hasDoc && doc->GetModel().GetState() == kRunning);
    Action("computationSetup")->setEnabled(hasDoc && !running && app_.HasSetupDialog());
    Action("computationSaveAfter")->setEnabled(hasDoc);
    Action("computationDevices")->setEnabled(hasDoc && !running);
    Action("appPreferences")->setEnabled(app_.HasPreferenceSheet());
    Action("computationSaveAfter")->setChecked(hasDoc && doc->SaveAfterComputation());
    Action("computationExitAfter")->setEnabled(hasDoc && doc->SaveAfterComputation());
    Action("computationExitAfter")->setChecked(hasDoc && doc->ExitAfterComputation());
    CChildFrame* child = ActiveChild();
    ViewMovieRecording* rec = child ? MovieRecordingOf(child->ViewPane()) : nullptr;
    Action("computationSaveMovie")->setEnabled(rec && rec->Recording().MenuEnabled());
    Action("computationSaveMovie")->setChecked(rec && rec->Recording().MenuChecked());
    ViewAnimationRecording* anim = child ? AnimationRecordingOf(child->ViewPane()) : nullptr;
    Action("fileRecordAnimation")->setEnabled(anim && !anim->Busy() && !(rec && rec->Recording().Active()));
    Action("fileStopRecording")->setEnabled(anim && anim->FreeFormRunning());
    UpdateViewMenuCommands();
}

void CMainFrame::QueueCommandUI() {
    if (commandUiQueued_) return;
    commandUiQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            commandUiQueued_ = false;
            UpdateCommandUI();
        },
        Qt::QueuedConnection);
}

void CMainFrame::RebuildRecentFiles() {
    const RecentFileList& list = app_.Recent();
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* a = recent_[static_cast<std::size_t>(i)];
        if (i < list.Size()) {
            a->setText(QString("&%1 %2").arg(i + 1).arg(QString::fromStdString(list[i])));
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
    recentSeparator_->setVisible(list.Size() > 0);
}

void CMainFrame::EnterRemoteMode(long long parentWindow) {
    menuBar()->hide();
    toolbar_->hide();
    statusBar()->hide();
    setWindowFlags(Qt::FramelessWindowHint);
    remoteParent_ = parentWindow;
    KeepEmbedded();
    setEnabled(false);
    showMaximized();
}

void CMainFrame::KeepEmbedded() {
    if (remoteParent_ == 0) return;
    // Embedding into the controlling program's window (X11 window id).
    winId();
    QWindow* own = windowHandle();
    if (!own) return;
    QWindow* parent = own->parent();
    if (parent && parent->winId() == static_cast<WId>(remoteParent_)) return;
    if (QWindow* foreign = QWindow::fromWinId(static_cast<WId>(remoteParent_))) own->setParent(foreign);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    closing_ = true;
    if (!app_.CloseAllDocuments()) {
        closing_ = false;
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace zun
