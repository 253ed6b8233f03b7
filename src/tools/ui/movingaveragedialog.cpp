#include "tools/ui/movingaveragedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"

namespace zun {

MovingAverageDialog::MovingAverageDialog(MovingAverageModel& model, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(model), prompt_(prompt) {
    setWindowTitle(tr("Moving-volume average"));
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto label = [&](const char* text) { grid->addWidget(new QLabel(tr(text), this), row, 0); };

    label("Input channel");
    input_ = new QLineEdit(QString::fromStdString(model.InputName()), this);
    input_->setEnabled(false);
    grid->addWidget(input_, row++, 1, 1, 3);

    label("Output channel");
    output_ = new QComboBox(this);
    for (const auto& n : model.Channels()) output_->addItem(QString::fromStdString(n));
    output_->setCurrentIndex(model.Output());
    output_->setMaxVisibleItems(4);
    connect(output_, &QComboBox::currentIndexChanged, this, [this](int i) { model_.SetOutput(i); });
    grid->addWidget(output_, row++, 1, 1, 3);

    label("Boundary channel");
    boundary_ = new QComboBox(this);
    for (const auto& n : model.BoundaryEntries()) boundary_->addItem(QString::fromStdString(n));
    boundary_->setMaxVisibleItems(4);
    connect(boundary_, &QComboBox::currentIndexChanged, this,
            [this](int i) { model_.SetBoundarySelection(i); });
    grid->addWidget(boundary_, row++, 1, 1, 3);

    label("Channel value expectation");
    auto_ = new QCheckBox(tr("Auto"), this);
    expected_ = RealField(new QLineEdit(QString::fromStdString(model.ExpectedText()), this));
    average_ = new QPushButton(tr("Compute average"), this);
    grid->addWidget(auto_, row, 1);
    grid->addWidget(expected_, row, 2);
    grid->addWidget(average_, row++, 3);
    connect(auto_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetAuto(on);
        RefreshEnabling();
    });
    connect(expected_, &QLineEdit::editingFinished, this, [this] {
        if (!model_.SetExpectedText(expected_->text().toStdString()))
            expected_->setText(QString::fromStdString(model_.ExpectedText()));
    });
    connect(average_, &QPushButton::clicked, this, [this] {
        average_->setEnabled(false);
        const std::string m = model_.ComputeAverage();
        if (!m.empty()) prompt_.Tell(m, PromptIcon::Information);
        expected_->setText(QString::fromStdString(model_.ExpectedText()));
        RefreshEnabling();
    });

    label("Moving-volume geometry");
    geometry_ = new QComboBox(this);
    for (const auto& n : MovingAverageModel::GeometryNames()) geometry_->addItem(QString::fromStdString(n));
    geometry_->setMaxVisibleItems(5);
    grid->addWidget(geometry_, row++, 1, 1, 3);

    dimLabel_ = new QLabel(this);
    grid->addWidget(dimLabel_, row, 0);
    stack_ = new QStackedWidget(this);
    auto* three = new QWidget(stack_);
    auto* h3 = new QHBoxLayout(three);
    h3->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        dims_[i] = RealField(new QLineEdit(three));
        h3->addWidget(dims_[i]);
        connect(dims_[i], &QLineEdit::editingFinished, this, [this, i] {
            model_.SetDimensionText(i, dims_[i]->text().toStdString());
            dims_[i]->setText(QString::fromStdString(model_.DimensionTexts()[static_cast<std::size_t>(i)]));
        });
    }
    auto* four = new QWidget(stack_);
    auto* h4 = new QHBoxLayout(four);
    h4->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 4; ++i) {
        regions_[i] = RealField(new QLineEdit(four));
        h4->addWidget(regions_[i]);
        connect(regions_[i], &QLineEdit::editingFinished, this, [this, i] {
            model_.SetDimensionText(i, regions_[i]->text().toStdString());
            regions_[i]->setText(
                QString::fromStdString(model_.DimensionTexts()[static_cast<std::size_t>(i)]));
        });
    }
    stack_->addWidget(three);
    stack_->addWidget(four);
    grid->addWidget(stack_, row++, 1, 1, 3);
    connect(geometry_, &QComboBox::currentIndexChanged, this, &MovingAverageDialog::OnGeometry);

    label("Out-of-sample-boundary voxel value");
    original_ = new QRadioButton(tr("Original"), this);
    setValueRadio_ = new QRadioButton(tr("Set value"), this);
    setValue_ = RealField(new QLineEdit(QString::fromStdString(model.SetValueText()), this));
    original_->setChecked(true);
    grid->addWidget(original_, row, 1);
    grid->addWidget(setValueRadio_, row, 2);
    grid->addWidget(setValue_, row++, 3);
    connect(original_, &QRadioButton::toggled, this, [this](bool on) {
        model_.SetKeepOutside(on);
        RefreshEnabling();
    });

    label("Number of iterations");
    iterations_ =
        IntegerField(new QLineEdit(QString::fromStdString(model.IterationsText()), this), 0, INT32_MAX);
    grid->addWidget(iterations_, row++, 1);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    grid->addWidget(progress_, row++, 0, 1, 4);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    execute_ = new QPushButton(tr("Execute"), this);
    execute_->setDefault(true);
    close_ = new QPushButton(tr("Close"), this);
    buttons->addWidget(execute_);
    buttons->addWidget(close_);
    grid->addLayout(buttons, row++, 0, 1, 4);
    connect(execute_, &QPushButton::clicked, this, &MovingAverageDialog::OnExecute);
    connect(close_, &QPushButton::clicked, this, &MovingAverageDialog::reject);

    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, [this] { progress_->setValue(model_.Progress().Percent()); });
    OnGeometry(0);
}

void MovingAverageDialog::OnGeometry(int g) {
    model_.SetGeometry(g);
    dimLabel_->setText(QString::fromStdString(model_.DimensionLabel()));
    const auto texts = model_.DimensionTexts();
    stack_->setCurrentIndex(model_.ShowsRegion() ? 1 : 0);
    QLineEdit* const* edits = model_.ShowsRegion() ? regions_ : dims_;
    for (std::size_t i = 0; i < texts.size(); ++i) edits[i]->setText(QString::fromStdString(texts[i]));
}

void MovingAverageDialog::RefreshEnabling() {
    const bool idle = !running_;
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) w->setEnabled(idle);
    input_->setEnabled(false);
    boundary_->setEnabled(idle && model_.BoundaryEnabled());
    expected_->setEnabled(idle && !model_.Auto());
    average_->setEnabled(idle && !model_.Auto());
    setValue_->setEnabled(idle && !model_.KeepOutside());
    close_->setEnabled(true);
    close_->setText(running_ ? tr("Stop") : tr("Close"));
}

void MovingAverageDialog::OnExecute() {
    if (running_) return;
    QPointer<MovingAverageDialog> self(this);
    running_ = true;
    RefreshEnabling();
    poll_->start();
    const std::string message = model_.Execute(setValue_->text().toStdString(),
                                               iterations_->text().toStdString(), [self](int result) {
                                                   if (self) self->OnEnded(result);
                                               });
    if (!message.empty()) {
        running_ = false;
        poll_->stop();
        RefreshEnabling();
        prompt_.Tell(message, PromptIcon::Information);
    }
    if (self && !message.empty()) return;
    if (self) {
        setValue_->setText(QString::fromStdString(model_.SetValueText()));
        iterations_->setText(QString::fromStdString(model_.IterationsText()));
        expected_->setText(QString::fromStdString(model_.ExpectedText()));
    }
}

void MovingAverageDialog::OnEnded(int) {
    running_ = false;
    poll_->stop();
    progress_->setValue(0);
    RefreshEnabling();
    if (closePending_) QDialog::reject();
}

void MovingAverageDialog::reject() {
    if (running_) {
        // The run stops first; the dialog closes when its end arrives.
        closePending_ = true;
        model_.Stop();
        return;
    }
    QDialog::reject();
}

void RunMovingAverageDialog(CZunDoc& doc, int input, Prompt& prompt, QWidget* parent) {
    if (!MovingAverageModel::GridUsable(doc)) {
        prompt.Tell(mvamsg::kGridTooSmall, PromptIcon::Information);
        return;
    }
    MovingAverageModel model(doc, input);
    MovingAverageDialog dlg(model, prompt, parent);
    dlg.exec();
}

}  // namespace zun
