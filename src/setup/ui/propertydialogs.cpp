#include "setup/ui/propertydialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "foundation/numformat.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"
#include "setup/setupmessages.h"

namespace zun {
namespace {

QComboBox* ChannelBox(QWidget* parent, const std::vector<NamedValue>& table, const std::string& current) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);  // a name can also be typed
    for (const NamedValue& v : table) box->addItem(Q(v.name));
    const int i = box->findText(Q(current));
    box->setCurrentIndex(i >= 0 ? i : 0);
    box->setMaxVisibleItems(std::max(1, box->count()));
    return box;
}

QDialogButtonBox* OkCancel(QDialog* d) {
    auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
    QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return b;
}

}  // namespace

bool EditPropertyMethod(PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent,
                        const DialogRunner& run) {
    auto take = [&](auto& dialog) {
        if (RunDialog(run, dialog) != QDialog::Accepted) return false;
        rec = dialog.Record();
        return true;
    };
    switch (rec.kind) {
        case kScalarAnalyticMap: {
            ScalarAnalyticDialog d(rec, prompt, parent);
            return take(d);
        }
        case kScalarExtrapolation: {
            ScalarExtrapDialog d(rec, prompt, parent);
            return take(d);
        }
        case kLinkedClusterAnalysis: {
            LinkedClusterDialog d(rec, prompt, parent);
            return take(d);
        }
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------

ScalarAnalyticDialog::ScalarAnalyticDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(rec), prompt_(prompt) {
    setWindowTitle("Parameters for Scalar Analytic Map");
    auto* v = new QVBoxLayout(this);
    auto* res = new QGroupBox(QString::fromUtf8("Voxel resolution (µm)"), this);
    auto* rh = new QHBoxLayout(res);
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        rh->addWidget(new QLabel(axes[a], res));
        const float r = a < static_cast<int>(rec.voxelResolution.size()) ? rec.voxelResolution[a] : 1.0f;
        auto* e = RealField(new QLineEdit(Q(FormatReal(r, -1, "%g")), res));
        e->setEnabled(false);
        rh->addWidget(e);
    }
    v->addWidget(res);
    auto* structure = new QHBoxLayout;
    iso_ = new QRadioButton("Isotropic", this);
    aniso_ = new QRadioButton("Anisotropic", this);
    parallel_ = new QRadioButton("Parallel", this);
    perpendicular_ = new QRadioButton("Perpendicular", this);
    auto* g1 = new QButtonGroup(this);
    g1->addButton(iso_);
    g1->addButton(aniso_);
    auto* g2 = new QButtonGroup(this);
    g2->addButton(parallel_);
    g2->addButton(perpendicular_);
    for (QRadioButton* b : {iso_, aniso_, parallel_, perpendicular_}) structure->addWidget(b);
    structure->addStretch(1);
    v->addLayout(structure);
    iso_->setChecked(rec.voxelStructure == 0);
    aniso_->setChecked(rec.voxelStructure != 0);
    parallel_->setChecked(rec.orientation != 0);
    perpendicular_->setChecked(rec.orientation == 0);
    auto enable = [this] {
        parallel_->setEnabled(aniso_->isChecked());
        perpendicular_->setEnabled(aniso_->isChecked());
    };
    connect(aniso_, &QRadioButton::toggled, this, enable);
    enable();

    v->addWidget(new QLabel("Input Channels:", this));
    inputs_ = MakeSheetGrid(this);
    std::vector<std::string> names;
    for (const NamedValue& c : rec.compositions) names.push_back(c.name);
    FillSheetGrid(*inputs_, names, {"Property"}, [&rec](int r, int) {
        return FormatReal(rec.compositions[static_cast<std::size_t>(r)].value, -1, "%g");
    });
    GridSetColumnHeader(*inputs_, -1, "Name", false);
    inputs_->setColumnWidth(0, std::max(inputs_->MeasureColumn(0, true), 120));
    connect(inputs_, &ListGridWidget::cellEdited, this, [this](int r, int c, const QString& text) {
        std::string shown;
        const std::string error = model_.EditProperty(r, S(text), &shown);
        if (!error.empty()) {
            prompt_.Tell(error, PromptIcon::Information);
            return;
        }
        GridSetCellText(*inputs_, r, c, shown, false);
    });
    v->addWidget(inputs_);
    auto* out = new QHBoxLayout;
    out->addWidget(new QLabel("Output Channel:", this));
    output_ = ChannelBox(this, rec.properties, rec.outputChannel);
    out->addWidget(output_, 1);
    v->addLayout(out);
    v->addWidget(OkCancel(this));
}

void ScalarAnalyticDialog::accept() {
    model_.Accept(iso_->isChecked(), parallel_->isChecked(), S(output_->currentText()));
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

ScalarExtrapDialog::ScalarExtrapDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(rec), prompt_(prompt) {
    setWindowTitle("Parameters for Scalar Extrapolation");
    resize(560, 380);
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("Weight defined for each composition:", this));
    weightRow_ = new QWidget(this);
    auto* wh = new QHBoxLayout(weightRow_);
    wh->setContentsMargins(1, 0, 0, 0);
    wh->setSpacing(0);
    if (model_.ColumnCount() >= 2)
        for (int c = 0; c + 1 < model_.ColumnCount(); ++c) {
            auto* e = RealField(new QLineEdit(Q(model_.WeightText(c)), weightRow_));
            weights_.push_back(e);
            wh->addWidget(e);
        }
    wh->addStretch(1);
    v->addWidget(weightRow_);
    data_ = MakeSheetGrid(this);
    connect(data_, &ListGridWidget::cellEdited, this, [this](int r, int c, const QString& text) {
        std::string shown;
        const std::string error = model_.EditCell(r, c, S(text), &shown);
        if (!error.empty()) {
            prompt_.Tell(error, PromptIcon::Information);
            return;
        }
        Rebuild();
    });
    v->addWidget(data_, 1);
    auto* row = new QHBoxLayout;
    for (const char* text : {"Import", "Export", "Calc Weight", "Clear"}) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        buttons_.push_back(b);
        row->addWidget(b);
    }
    connect(buttons_[0], &QPushButton::clicked, this, &ScalarExtrapDialog::Import);
    connect(buttons_[1], &QPushButton::clicked, this, &ScalarExtrapDialog::Export);
    connect(buttons_[2], &QPushButton::clicked, this, &ScalarExtrapDialog::CalcWeight);
    connect(buttons_[3], &QPushButton::clicked, this, &ScalarExtrapDialog::Clear);
    row->addStretch(1);
    row->addWidget(new QLabel("Output Channel:", this));
    output_ = ChannelBox(this, rec.properties, rec.outputChannel);
    row->addWidget(output_);
    v->addLayout(row);
    v->addWidget(OkCancel(this));
    chooseFile = [this](bool save) {
        const QString f =
            save ? QFileDialog::getSaveFileName(this, setupmsg::kExportTitle, {}, "Text Files (*.txt)")
                 : QFileDialog::getOpenFileName(this, setupmsg::kImportTitle, {}, "Text Files (*.txt)");
        std::string path = S(f);
        if (save && !path.empty() && path.find('.', path.find_last_of('/') + 1) == std::string::npos)
            path += ".txt";
        return path;
    };
    Rebuild();
}

QPushButton* ScalarExtrapDialog::Button(const char* text) const {
    for (QPushButton* b : buttons_)
        if (b->text() == text) return b;
    return nullptr;
}

void ScalarExtrapDialog::Rebuild() {
    std::vector<std::string> rows(static_cast<std::size_t>(model_.DataRows()) + 1);  // and the empty row
    FillSheetGrid(*data_, rows, model_.Names(), [this](int r, int c) { return model_.CellText(r, c); });
    data_->setColumnHidden(0, true);
    // Each weight stands over its column, and shows a whole real.
    const int w = weights_.empty() ? 100 : std::max(100, weights_.front()->minimumWidth());
    for (int c = 1; c <= model_.ColumnCount(); ++c) data_->setColumnWidth(c, w);
    for (std::size_t c = 0; c < weights_.size(); ++c) {
        weights_[c]->setText(Q(model_.WeightText(static_cast<int>(c))));
        weights_[c]->setFixedWidth(w);
    }
    buttons_[1]->setEnabled(model_.HasData());
    buttons_[3]->setEnabled(model_.HasData());
}

void ScalarExtrapDialog::Say(const std::string& text) {
    prompt_.Tell(text, PromptIcon::None);
}

bool ScalarExtrapDialog::CheckWeights(bool computingWeights) {
    std::vector<std::string> texts;
    for (QLineEdit* e : weights_) texts.push_back(S(e->text()));
    const std::string error = model_.CheckWeights(texts, S(output_->currentText()), computingWeights);
    if (error.empty()) return true;
    Say(error);
    return false;
}

void ScalarExtrapDialog::Import() {
    if (model_.HasData() &&
        prompt_.Ask(PromptRequest{
            setupmsg::kImportOverwrite, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) != kPromptOk)
        return;
    const std::string path = chooseFile(false);
    if (path.empty()) return;
    for (const std::string& m : model_.Import(path)) Say(m);
    Rebuild();
}

void ScalarExtrapDialog::Export() {
    if (!CheckWeights()) return;
    if (!model_.HasData()) {
        Say(setupmsg::kNoDataToExport);
        return;
    }
    const std::string path = chooseFile(true);
    if (path.empty()) return;
    const std::string error = model_.Export(path);
    if (!error.empty()) Say(error);
}

void ScalarExtrapDialog::CalcWeight() {
    if (!CheckWeights(true)) return;
    const std::string error = model_.CalcWeights();
    if (!error.empty()) Say(error);
    Rebuild();
}

void ScalarExtrapDialog::Clear() {
    if (prompt_.Ask(PromptRequest{
            setupmsg::kClearData, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) != kPromptOk)
        return;
    model_.Clear();
    Rebuild();
}

void ScalarExtrapDialog::accept() {
    if (!CheckWeights()) return;
    model_.Accept();
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

LinkedClusterDialog::LinkedClusterDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(rec), prompt_(prompt) {
    setWindowTitle("Parameters for Linked Clusters Analysis");
    auto* v = new QVBoxLayout(this);
    auto* g = new QGridLayout;
    input_ = ChannelBox(this, rec.allChannels, rec.inputChannel);
    bound_ = new QComboBox(this);
    bound_->setEditable(true);
    for (const std::string& e : model_.BoundEntries()) bound_->addItem(Q(e));
    const int bi = bound_->findText(Q(rec.inputBound));
    bound_->setCurrentIndex(rec.inputBound.empty() || bi < 0 ? 0 : bi);
    bound_->setEnabled(!rec.boundaries.empty());
    output_ = ChannelBox(this, rec.properties, rec.outputChannel);
    g->addWidget(new QLabel("Input Channel:", this), 0, 0);
    g->addWidget(input_, 0, 1);
    g->addWidget(new QLabel("Input Bound:", this), 1, 0);
    g->addWidget(bound_, 1, 1);
    g->addWidget(new QLabel("Output Channel:", this), 2, 0);
    g->addWidget(output_, 2, 1);
    v->addLayout(g);

    auto* th = new QHBoxLayout;
    th->addWidget(new QLabel("Norm threshold (0-1):", this));
    threshold_ = RealField(new QLineEdit(this));
    ge_ = new QRadioButton(">=", this);
    le_ = new QRadioButton("<=", this);
    th->addWidget(threshold_);
    th->addWidget(ge_);
    th->addWidget(le_);
    th->addStretch(1);
    v->addLayout(th);
    auto* dh = new QHBoxLayout;
    details_ = new QCheckBox("Comp details for clusters", this);
    first_ = IntegerField(new QLineEdit(this), 0, INT32_MAX);
    last_ = IntegerField(new QLineEdit(this), 0, INT32_MAX);
    dh->addWidget(details_);
    dh->addWidget(first_);
    dh->addWidget(new QLabel("to", this));
    dh->addWidget(last_);
    v->addLayout(dh);
    auto* fh = new QHBoxLayout;
    sort_ = new QComboBox(this);
    sort_->addItems({"Descending", "Ascending"});
    filter_ = new QComboBox(this);
    filter_->addItems({"NoFilter", "Largest", "Smallest", "Between", "GreatEq", "LessEq"});
    low_ = RealField(new QLineEdit(this));
    high_ = RealField(new QLineEdit(this));
    fh->addWidget(new QLabel("Sort:", this));
    fh->addWidget(sort_);
    fh->addWidget(new QLabel("Filter:", this));
    fh->addWidget(filter_);
    fh->addWidget(new QLabel("Low", this));
    fh->addWidget(low_);
    fh->addWidget(new QLabel("High", this));
    fh->addWidget(high_);
    v->addLayout(fh);
    auto* planes = new QGroupBox("Count objects crossing given planes", this);
    auto* pg = new QGridLayout(planes);
    pg->addWidget(new QLabel("Plane 1", planes), 0, 1);
    pg->addWidget(new QLabel("Plane 2", planes), 0, 3);
    const char* axes[3] = {"  X", "  Y", "  Z"};
    for (int a = 0; a < 3; ++a) {
        axis_[a] = new QCheckBox(axes[a], planes);
        plane1_[a] = IntegerField(new QLineEdit(planes), 0, kAxisCountMax);
        op_[a] = new QComboBox(planes);
        op_[a]->addItems({"Not", "And", "Or"});
        plane2_[a] = IntegerField(new QLineEdit(planes), 0, kAxisCountMax);
        pg->addWidget(axis_[a], a + 1, 0);
        pg->addWidget(plane1_[a], a + 1, 1);
        pg->addWidget(op_[a], a + 1, 2);
        pg->addWidget(plane2_[a], a + 1, 3);
        connect(axis_[a], &QCheckBox::toggled, this, &LinkedClusterDialog::UpdateEnabling);
        connect(op_[a], &QComboBox::currentIndexChanged, this, &LinkedClusterDialog::UpdateEnabling);
    }
    v->addWidget(planes);
    v->addWidget(OkCancel(this));
    connect(details_, &QCheckBox::toggled, this, &LinkedClusterDialog::UpdateEnabling);
    connect(filter_, &QComboBox::currentIndexChanged, this, &LinkedClusterDialog::UpdateEnabling);
    SetFields(model_.Fields());
}

LinkedClusterFields LinkedClusterDialog::Fields() const {
    LinkedClusterFields f;
    f.input = S(input_->currentText());
    f.bound = S(bound_->currentText());
    f.output = S(output_->currentText());
    f.threshold = S(threshold_->text());
    f.greaterEqual = ge_->isChecked();
    f.componentDetails = details_->isChecked();
    f.firstCluster = S(first_->text());
    f.lastCluster = S(last_->text());
    f.sortOrder = sort_->currentIndex();
    f.filter = filter_->currentIndex();
    f.low = S(low_->text());
    f.high = S(high_->text());
    for (int a = 0; a < 3; ++a) {
        f.axis[a] = axis_[a]->isChecked();
        f.plane1[a] = S(plane1_[a]->text());
        f.plane2[a] = S(plane2_[a]->text());
        f.op[a] = op_[a]->currentIndex();
    }
    return f;
}

void LinkedClusterDialog::SetFields(const LinkedClusterFields& f) {
    // A record without names keeps the lists' first entries.
    if (!f.input.empty()) input_->setCurrentText(Q(f.input));
    if (bound_->isEnabled()) bound_->setCurrentText(Q(f.bound.empty() ? setupmsg::kNoneSelected : f.bound));
    if (!f.output.empty()) output_->setCurrentText(Q(f.output));
    threshold_->setText(Q(f.threshold));
    ge_->setChecked(f.greaterEqual);
    le_->setChecked(!f.greaterEqual);
    details_->setChecked(f.componentDetails);
    first_->setText(Q(f.firstCluster));
    last_->setText(Q(f.lastCluster));
    sort_->setCurrentIndex(f.sortOrder);
    filter_->setCurrentIndex(f.filter);
    low_->setText(Q(f.low));
    high_->setText(Q(f.high));
    for (int a = 0; a < 3; ++a) {
        axis_[a]->setChecked(f.axis[a]);
        plane1_[a]->setText(Q(f.plane1[a]));
        plane2_[a]->setText(Q(f.plane2[a]));
        op_[a]->setCurrentIndex(f.op[a]);
    }
    UpdateEnabling();
}

void LinkedClusterDialog::UpdateEnabling() {
    first_->setEnabled(details_->isChecked());
    last_->setEnabled(details_->isChecked());
    low_->setEnabled(LinkedClusterModel::LowEnabled(filter_->currentIndex()));
    high_->setEnabled(LinkedClusterModel::HighEnabled(filter_->currentIndex()));
    for (int a = 0; a < 3; ++a) {
        plane1_[a]->setEnabled(axis_[a]->isChecked());
        op_[a]->setEnabled(axis_[a]->isChecked());
        plane2_[a]->setEnabled(axis_[a]->isChecked() && op_[a]->currentIndex() != kPlaneNot);
    }
}

void LinkedClusterDialog::accept() {
    const std::string error = model_.Accept(Fields());
    if (!error.empty()) {
        prompt_.Tell(error, PromptIcon::Warning);
        return;
    }
    QDialog::accept();
}

}  // namespace zun
