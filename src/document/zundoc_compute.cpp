// The document's computation commands and what the controller asks of its document.

#include <cstdio>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace zun {

void CZunDoc::UpdateAllViews(int hint, bool statsChanged) {
    StatsMod stats;
    views_.UpdateAllViews(nullptr, static_cast<unsigned>(hint), statsChanged ? &stats : nullptr);
}

int CZunDoc::StartComputationRecording() {
    return startRecording ? startRecording() : 0;
}

void CZunDoc::StopComputationRecording() {
    if (stopRecording) stopRecording();
}

void CZunDoc::CloseMainWindow() {
    if (closeMainWindow) closeMainWindow();
}

void CZunDoc::SetPlugins(bool enabled, std::vector<std::string> folders) {
    pluginsEnabled_ = enabled;
    pluginFolders_ = std::move(folders);
}

void CZunDoc::SetSaveAfterComputation(bool on) {
    settings_.saveAfterComputation = on;
    if (!on) settings_.exitAfterComputation = false;
}

void CZunDoc::SetDeviceSelection(const std::vector<ComputeDeviceEntry>& asked) {
    std::vector<ComputeDeviceEntry> entries = asked;
    BoundDeviceThreads(entries);
    if (!SameDevices(entries, settings_.devices)) {
        settings_.devices = entries;
        modified_ = true;
    }
    model_->Devices().ApplyDeviceSelection(settings_.devices);
}

void CZunDoc::ComputeCompositionCoefficients(int ctChannel) {
    if (!sample_->IsChanIndex(ctChannel)) return;
    const ZunChan& ct = *sample_->GetChan(ctChannel);
    if (ct.kind != ZunChan::kXrayCt || ct.polychromatic || ct.dataType != 0) return;
    Params& p = model_->GetParams();
    const int number = ctChannel - sample_->FirstChanOfKind(ZunChan::kXrayCt) + 1;
    if (number < 1 || number > p.ctChannelCount) return;
    const double energy = p.ctBeamEnergy[static_cast<std::size_t>(number)];
    // compositionCount counts the compositions after the first.
    for (int i = 0; i <= p.compositionCount && i < sample_->GetChanCount(); ++i) {
        const ZunChan& comp = *sample_->GetChan(i);
        if (comp.kind != ZunChan::kComposition) break;
        const double mu = comp.compound.LinearAttenuation(settings_.attenuationMethod, 0,
                                                          settings_.coefficientKind, energy);
        const std::size_t at = p.MatrixIndex(number, i);
        // The user's offset of the composition (X-ray CT properties) stays on top of the default.
        const float offset = at < p.lpcMatrix.size() ? p.lpcMatrix[at] : 0.0f;
        if (at < p.lacMatrix.size()) p.lacMatrix[at] = static_cast<float>(mu) + offset;
    }
}

bool CZunDoc::CanStartComputation() const {
    return model_->HasWorkToDo() && !IsComputing() && propertyDialogCount == 0;
}

int CZunDoc::OnStartComputation() {
    if (IsComputing()) return -1;
    if (sample_->GetNumVoxels() == 0) {
        Tell(docmsg::kZeroVolumeCompute, static_cast<int>(PromptIcon::Warning));
        return 1;
    }
    if (!model_->HasWorkToDo()) {
        Tell(docmsg::kNothingToCompute, static_cast<int>(PromptIcon::Warning));
        return 1;
    }
    // The coefficients follow the compounds and energies as they are now.
    for (int i = 0; i < sample_->GetChanCount(); ++i) ComputeCompositionCoefficients(i);
    if (settings_.clearLogOnStart) logger_->Clear();
    return model_->StartComputation();
}

void CZunDoc::OnStopComputation() {
    model_->StopComputation(true);
}

int CZunDoc::OnSetupComputation(ComputationSetupDialog& dialog) {
    const int r = model_->SetupComputation(dialog);
    if (r < 0 || r == 1) {
        Tell(docmsg::kSetupFailed, static_cast<int>(PromptIcon::Warning));
    } else if (model_->GetParams().setupChanged) {
        modified_ = true;
    }
    return r;
}

void CZunDoc::HandleFrameMessage(const FrameMessage& msg) {
    if (msg.document != this) return;
    if (msg.kind == FrameMsg::StartStopComputation) {
        if (msg.value == 1) {
            model_->StopComputation(false);
            modified_ = true;
        } else {
            OnStartComputation();
        }
        return;
    }
    model_->HandleFrameMessage(msg);
    if (msg.kind == FrameMsg::ComputationEnded) modified_ = true;
}

}  // namespace zun
