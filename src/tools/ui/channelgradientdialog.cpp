#include "tools/ui/channelgradientdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"

namespace zun {

ChannelGradientDialog::ChannelGradientDialog(GradientParsModel& model, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(model), prompt_(prompt) {
    setWindowTitle(tr(gradientmsg::kCaption));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    input_ = new QComboBox(this);
    input_->addItem(QString::fromStdString(model.Input()));
    input_->setEnabled(false);
    form->addRow(tr("Input channel"), input_);
    output_ = new QComboBox(this);
    for (const auto& n : model.Outputs()) output_->addItem(QString::fromStdString(n));
    output_->setCurrentIndex(output_->findText(QString::fromStdString(model.Output())));
    form->addRow(tr("Output channel"), output_);
    layout->addLayout(form);
    connect(output_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        model_.SetOutput(t.toStdString());
        Refresh();
    });
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        auto* box = new QGroupBox(QStringLiteral("%1 axis").arg(axes[a]), this);
        auto* grid = new QGridLayout(box);
        periodic_[a] =
            new QCheckBox(QStringLiteral("Periodic boundary conditions in %1 axis").arg(axes[a]), box);
        outside_[a] = new QCheckBox(QStringLiteral("Use out-of-grid values in %1-axis").arg(axes[a]), box);
        grid->addWidget(periodic_[a], 0, 0, 1, 4);
        grid->addWidget(outside_[a], 1, 0, 1, 4);
        for (int k = 0; k < 2; ++k) {
            values_[2 * a + k] =
                RealField(new QLineEdit(QString::fromStdString(model.ValueText(2 * a + k)), box));
            grid->addWidget(new QLabel(k ? tr("Upper face:") : tr("Lower face:"), box), 2, 2 * k);
            grid->addWidget(values_[2 * a + k], 2, 2 * k + 1);
        }
        connect(periodic_[a], &QCheckBox::toggled, this, [this, a](bool on) {
            model_.SetPeriodic(a, on);
            Refresh();
        });
        connect(outside_[a], &QCheckBox::toggled, this, [this, a](bool on) {
            model_.SetOutside(a, on);
            Refresh();
        });
        layout->addWidget(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelGradientDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelGradientDialog::reject);
    layout->addWidget(buttons);
    Refresh();
}

void ChannelGradientDialog::Refresh() {
    for (int a = 0; a < 3; ++a) {
        const QSignalBlocker b1(periodic_[a]), b2(outside_[a]);
        periodic_[a]->setChecked(model_.Periodic(a));
        outside_[a]->setChecked(model_.Outside(a));
        outside_[a]->setEnabled(model_.OutsideEnabled(a));
        values_[2 * a]->setEnabled(model_.EditsEnabled(a));
        values_[2 * a + 1]->setEnabled(model_.EditsEnabled(a));
    }
    if (auto* box = findChild<QDialogButtonBox*>())
        box->button(QDialogButtonBox::Ok)->setEnabled(model_.OkEnabled());
}

void ChannelGradientDialog::accept() {
    std::array<std::string, 6> texts;
    for (int i = 0; i < 6; ++i) texts[static_cast<std::size_t>(i)] = values_[i]->text().toStdString();
    const std::string message = model_.Accept(texts);
    if (!message.empty()) {
        prompt_.Tell(message, PromptIcon::Warning);
        return;
    }
    QDialog::accept();
}

void RunChannelGradient(CZunDoc& doc, int input, GradientSettingsStore& store, Prompt& prompt,
                        QWidget* parent) {
    ZunImage& s = doc.GetSample();
    std::vector<int> kinds;
    for (int i = 0; i < s.GetChanCount(); ++i) kinds.push_back(s.GetChan(i)->kind);
    const std::string name = s.GetChan(input)->name;
    GradientParsModel model(s.GetChanNames(), kinds, input, store.Get(name));
    ChannelGradientDialog dlg(model, prompt, parent);
    const std::string docName = doc.GetNameText().empty() ? doc.GetTitle() : doc.GetNameText();
    dlg.setWindowTitle(QString::fromStdString(docName + ": Compute Gradient"));
    if (dlg.exec() != QDialog::Accepted) return;
    store.Set(name, model.Settings());
    StartGradientStep(doc, input, model.Settings());
}

}  // namespace zun
