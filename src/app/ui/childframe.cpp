#include "app/ui/childframe.h"

#include <algorithm>

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/framerules.h"
#include "app/ui/mainframe.h"
#include "app/ui/viewcommands.h"
#include "app/ui/zunapp.h"
#include "compute/computedocument.h"
#include "document/zundoc.h"
#include "plot/ui/ctcommands.h"
#include "plot/ui/propertycommands.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"
#include "view3d/recordingtexts.h"
#include "view3d/ui/animationrecording.h"
#include "view3d/ui/exportcommands.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/ui/zunview.h"

namespace zun {

namespace {
// A status pane asks for the width its text was given (FitStatusPane's), but may be squeezed below
// it by a narrow window: a minimum width would be kept even where the bar has no room for it, and
// the panes would be drawn over one another.
class StatusPaneLabel : public QLabel {
public:
    using QLabel::QLabel;
    void SetWantedWidth(int width) {
        if (width == wanted_) return;
        wanted_ = width;
        updateGeometry();
    }
    int WantedWidth() const { return wanted_; }
    QSize sizeHint() const override {
        const QSize text = QLabel::sizeHint();
        return {std::max(wanted_, text.width()), text.height()};
    }
    QSize minimumSizeHint() const override { return {2 * frameWidth(), QLabel::minimumSizeHint().height()}; }

private:
    int wanted_ = 10;
};

QLabel* Placeholder(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    l->setAutoFillBackground(true);
    l->setFrameShape(QFrame::StyledPanel);
    return l;
}
}  // namespace

QWidget* CreateTreePane(CZunDoc& doc, QWidget* parent, QWidget* copyFrom) {
    ZunTreeView* tree = CreateTreeView(doc, parent, qobject_cast<ZunTreeView*>(copyFrom));
    RegisterPropertyCommands(*tree);
    RegisterCtCommands(*tree);
    return tree;
}

QWidget* CreateViewPane(CZunDoc& doc, QWidget* parent) {
    // The 3-D view needs OpenGL, which the offscreen platform of the widget tests does not have.
    if (QGuiApplication::platformName() != "offscreen") {
        auto* view = new CZunView(&doc, parent);
        view->displayMaxSize = [] {
            CZunApp* app = CZunApp::Instance();
            return app ? app->Prefs().display.maxSize : kDefaultDisplayMaxSize;
        };
        AddMovieRecording(view, doc);
        AddAnimationRecording(view, doc);
        if (auto* tree =
                parent ? parent->findChild<ZunTreeView*>(QString(), Qt::FindDirectChildrenOnly) : nullptr) {
            view->SetTree(&tree->Tree());
            // The tree's display toggles redraw this window's view only.
            QObject::connect(tree, &ZunTreeView::displayChanged, view,
                             [view](unsigned hint) { view->OnUpdate(nullptr, hint, nullptr); });
            RegisterExportCommands(tree->Commands(), doc, tree->Tree(), tree, view);
            RegisterSelectionOsgExports(*tree, *view);
            RunAnimationDriver* anim = ConnectTreeAnimation(*view, tree->Tree(), tree->Stepping(),
                                                            tree->RefreshRequests(), tree->Commands());
            anim->animationSpeed = [] {
                CZunApp* app = CZunApp::Instance();
                return app ? static_cast<int>(app->Prefs().display.animationSpeed) : 100;
            };
        }
        return view;
    }
    if (auto* tree =
            parent ? parent->findChild<ZunTreeView*>(QString(), Qt::FindDirectChildrenOnly) : nullptr)
        RegisterExportCommands(tree->Commands(), doc, tree->Tree(), tree, nullptr);
    const auto& d = doc.GetSample().GetDims();
    QLabel* l = Placeholder(QString("%1 x %2 x %3 voxels").arg(d[0]).arg(d[1]).arg(d[2]), parent);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::lightGray);
    l->setPalette(p);
    return l;
}

CChildFrame::CChildFrame(CZunDoc& doc, QWidget* parent, const CChildFrame* copyFrom)
    : QWidget(parent), doc_(doc) {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(true);
    tree_ = CreateTreePane(doc, splitter_, copyFrom ? copyFrom->TreePane() : nullptr);
    view_ = CreateViewPane(doc, splitter_);
    // A new document has no window record yet; without one the view would have nowhere to keep
    // its camera and settings, and the first save would store none.
    if (doc.WindowRecords().empty()) doc.WindowRecords().emplace_back();
    doc.SetBeforeStore([&doc] { StoreTreeRecords(doc); });
    splitter_->addWidget(tree_);
    splitter_->addWidget(view_);
    if (auto* tree = qobject_cast<ZunTreeView*>(tree_))
        connect(tree, &ZunTreeView::namesWidened, this, [this] { FitTreeColumn(); });
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);

    status_ = new QStatusBar(this);
    status_->setSizeGripEnabled(false);
    const char* texts[4] = {"", "CM", "TOT", ""};
    for (int i = 0; i < 4; ++i) {
        panes_[i] = new StatusPaneLabel(texts[i], status_);
        panes_[i]->setFrameShape(QFrame::Panel);
        panes_[i]->setFrameShadow(QFrame::Sunken);
        if (i == 0)
            status_->addWidget(panes_[i], 1);
        else
            status_->addPermanentWidget(panes_[i]);
    }
    QPalette red = panes_[3]->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    panes_[3]->setPalette(red);
    static_cast<StatusPaneLabel*>(panes_[3])
        ->SetWantedWidth(panes_[3]->fontMetrics().horizontalAdvance("Recording...") + 6);
    if (ViewMovieRecording* rec = MovieRecordingOf(view_))
        rec->showRecording = [this](bool on) { SetRecordingText(on ? recmsg::kRecording : ""); };
    if (ViewAnimationRecording* anim = AnimationRecordingOf(view_))
        anim->showRecording = [this](bool on) { SetRecordingText(on ? recmsg::kRecording : ""); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter_, 1);
    layout->addWidget(status_);

    doc_.Views().Add(this);
    SetStatusText(doc_.GetModel().GetStateText());
    // A document that has been computed (reopened, or a further window) shows its durations at
    // once rather than the panes' placeholders.
    const std::vector<CDuration> durations = doc_.GetModel().Durations();
    for (const CDuration& d : durations)
        if (d.days || d.hours || d.minutes || d.wholeSeconds || d.seconds > 0) {
            SetStatusValues(durations);
            break;
        }
}

CChildFrame::~CChildFrame() {
    doc_.Views().Remove(this);
}

QLabel* CChildFrame::StatusPane(int index) const {
    return (index >= 0 && index < 4) ? panes_[index] : nullptr;
}

void CChildFrame::SetPaneText(int index, const QString& text) {
    auto* pane = static_cast<StatusPaneLabel*>(panes_[index]);
    const int t = pane->fontMetrics().horizontalAdvance(text) + 2 * pane->frameWidth() + 8;
    pane->SetWantedWidth(FitStatusPane(t, pane->WantedWidth()));
    pane->setText(text);
}

void CChildFrame::SetStatusText(const std::string& text) {
    SetPaneText(0, QString::fromStdString(text));
}

void CChildFrame::SetStatusValues(const std::vector<CDuration>& items) {
    for (std::size_t i = 0; i < 2 && i < items.size(); ++i)
        SetPaneText(static_cast<int>(i) + 1,
                    QString::fromStdString(items[i].label + ": " + items[i].FormatWhole()));
}

void CChildFrame::SetRecordingText(const std::string& text) {
    panes_[3]->setText(QString::fromStdString(text));
}

int CChildFrame::TreeContentWidth() const {
    auto* tree = qobject_cast<QTreeView*>(tree_);
    if (!tree) return tree_->sizeHint().width();
    tree->resizeColumnToContents(0);
    int width = 0;
    for (int c = 0; c < tree->header()->count(); ++c)
        if (!tree->isColumnHidden(c)) width += tree->columnWidth(c);
    return width + 2 * tree->frameWidth() + tree->verticalScrollBar()->sizeHint().width();
}

void CChildFrame::FitTreeColumn() {
    const QList<int> sizes = splitter_->sizes();
    // A column the user closed stays closed.
    if (sizes.size() < 2 || sizes[0] <= 0) return;
    auto* window = qobject_cast<QMdiSubWindow*>(parentWidget());
    QMdiArea* area = window ? window->mdiArea() : nullptr;
    if (!area || window->isMinimized()) return;
    const TreeColumnFit f =
        WidenTreeColumn(sizes[0], sizes[1], TreeContentWidth(), window->x(), window->width(),
                        area->viewport()->width(), window->isMaximized());
    if (f.treeWidth == sizes[0]) return;
    if (f.frameWidth != window->width()) {
        window->setGeometry(f.frameX, window->y(), f.frameWidth, window->height());
        // The splitter takes the new width now, so that the sizes below are not scaled to the old.
        if (QLayout* l = layout()) l->activate();
    }
    splitter_->setSizes({f.treeWidth, f.viewWidth});
}

void CChildFrame::ApplyInitialGeometry(QMdiSubWindow* window, const QSize& area, int treeWidth) {
    if (!window) return;
    const QSize client = window->widget() ? window->widget()->size() : window->size();
    const int ncw = window->width() - client.width();
    const int nch = window->height() - client.height();
    const int statusHeight = status_->sizeHint().height();
    const int wanted = treeWidth > 0 ? treeWidth : TreeContentWidth();
    const ChildGeometry g = InitialChildGeometry(client.width(), client.height() - statusHeight, ncw,
                                                 nch + statusHeight, area.width(), area.height(), wanted);
    // The area's placement may put a window where it would not fit: it moves back, so that it
    // keeps its size instead of being cut to a sliver against the edge.
    const ChildPosition at =
        FitChildPosition(window->x(), window->y(), g.frameWidth, g.frameHeight, area.width(), area.height());
    window->move(at.x, at.y);
    window->resize(std::min(g.frameWidth, area.width()), std::min(g.frameHeight, area.height()));
    splitter_->setSizes({g.treeWidth, g.viewSide});
}

void CChildFrame::DisplayCtChannels() {
    auto* tree = qobject_cast<ZunTreeView*>(tree_);
    TreeNode* root = tree ? tree->Tree().Root() : nullptr;
    if (!root) return;
    const ZunImage& sample = doc_.GetSample();
    auto holdsData = [&sample](const TreeNode* c) {
        const ZunChan* chan = sample.FindChan(DisplayTree::GetItemName(c));
        if (!chan || !chan->Data()) return false;
        const std::uint16_t* words = chan->Data();
        return std::any_of(words, words + chan->GetNumVoxels(), [](std::uint16_t w) { return w != 0; });
    };
    std::vector<TreeNode*> shown, ct;
    for (const auto& c : root->children) {
        if (c->spec.shown.displayItems != 0) {
            if (holdsData(c.get())) return;  // the view shows data already
            shown.push_back(c.get());
        }
        if (c->spec.channelType == ZunChan::kXrayCt && holdsData(c.get())) ct.push_back(c.get());
    }
    if (ct.empty()) return;
    // The tree's own Display command does it, on selections that then go: the empty channels
    // off, the CT channels on.
    std::vector<TreeNode*> selected;
    for (TreeNode* n = root; n; n = DisplayTree::NextInPreOrder(n))
        if (n->selected) {
            selected.push_back(n);
            n->selected = false;
        }
    for (const std::vector<TreeNode*>* group : {&shown, &ct}) {
        if (group->empty()) continue;
        for (TreeNode* c : *group) c->selected = true;
        tree->Commands().Execute(treecmd::kDisplayChan);
        for (TreeNode* c : *group) c->selected = false;
    }
    for (TreeNode* n : selected) n->selected = true;
}

void CChildFrame::OnUpdate(DocView*, unsigned hint, const ChangeHint*) {
    // Every change of the document comes this way (an import, a channel in or out, a run's start,
    // state and end): the toolbar shows at once what the menus would, not only once one opens. A
    // burst of changes (a run's progress, a file's channels) costs one update.
    if (auto* frame = qobject_cast<CMainFrame*>(window())) frame->QueueCommandUI();
    // A rename (Save As, a remote "settitle" or "save") reaches every caption.
    if (hint == static_cast<unsigned>(kHintRename))
        if (CZunApp* app = CZunApp::Instance()) app->RefreshTitles(doc_);
    if (hint == static_cast<unsigned>(kHintStateChanged) ||
        hint == static_cast<unsigned>(kHintComputationStart)) {
        SetStatusText(doc_.GetModel().GetStateText());
    }
    if (hint == static_cast<unsigned>(kHintComputationProgress) ||
        hint == static_cast<unsigned>(kHintComputationStart)) {
        SetStatusValues(doc_.GetModel().Durations());
    }
}

}  // namespace zun
