// The remote commands that build a sample: the grid, the channels, a composition's compound, a
// CT channel's beam energy and the import of a folder of slice images.
#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "model/channelrules.h"
#include "plot/compoundprops.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remotewindow.h"
#include "tools/samplegrid.h"

namespace zun {

namespace {

// Channel kinds of the command words; any other number is a composition.
std::int32_t ChannelKindOf(unsigned word) {
    return word <= 3 ? static_cast<std::int32_t>(word) : ZunChan::kComposition;
}

// The named document, refused while its computation may still touch the sample.
CZunDoc* SampleDocument(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return nullptr;
    return doc;
}

// A channel index that names an existing channel of the kind (any kind when kind < 0).
bool CheckChannel(RemoteInterpreter& in, const RemoteCall& call, const CZunDoc& doc, unsigned index,
                  std::int32_t kind = -1) {
    const ZunImage& s = doc.GetSample();
    if (index < static_cast<unsigned>(s.GetChanCount()) &&
        (kind < 0 || s.GetChan(static_cast<int>(index))->kind == kind))
        return true;
    in.Error(call, "invalid channel index");
    return false;
}

// Checks the grid as the Sample Grid dialog's OK does, with the dialog's texts, then resizes
// through the sample-grid operation, which writes the edge sizes, and marks the document modified
// as the command does whatever moved. Offsets past the grids are clamped as the dialog clamps
// them; there is no one to ask whether data may be lost.
void ApplyGrid(RemoteInterpreter& in, const RemoteCall& call, CZunDoc& doc, SetupSampleGrid& grid) {
    const std::string refusal = grid.Check();
    if (!refusal.empty()) {
        in.Error(call, refusal);
        return;
    }
    const int r = grid.ApplyTo(doc);
    if (r == -2) {
        in.Error(call, "bad allocation");
        return;
    }
    if (r != 0) {
        in.Error(call, "invalid grid size");
        return;
    }
    doc.SetModifiedFlag(true);
    in.Ok(call);
}

void SetupGrids(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    // The multiplier stays the controller's; the words give the three edge sizes.
    SetupSampleGrid grid = SetupSampleGrid::FromDocument(*doc);
    for (std::size_t k = 0; k < 3; ++k) {
        grid.sizeText[k] = w[2 + k];
        grid.offsetText[k] = w[5 + k];
        grid.physicalText[k + 1] = w[8 + k];
    }
    ApplyGrid(in, call, *doc, grid);
}

void SetupGrid(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    const int what = ParseIntArg(w[2]);
    const int axis = ParseIntArg(w[3]);
    // The axis indexes three-element vectors.
    if (axis < 0 || axis > 2) {
        in.Error(call, "invalid axis (" + w[3] + ")");
        return;
    }
    // The current grid, no offset and the current edge sizes, one of them replaced.
    SetupSampleGrid grid = SetupSampleGrid::FromDocument(*doc);
    const auto a = static_cast<std::size_t>(axis);
    if (what == 0)
        grid.sizeText[a] = w[4];
    else if (what == 1)
        grid.offsetText[a] = w[4];
    else
        grid.physicalText[a + 1] = w[4];
    ApplyGrid(in, call, *doc, grid);
}

void InsertChannels(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    // The whole list is read and checked before a channel goes in.
    std::vector<CZunDoc::NewChannel> list;
    for (const std::string& item : SplitArgumentList(call.words[2], '#')) {
        const std::vector<std::string> fields = SplitArgumentList(item, ';');
        if (fields.size() != 2) {
            in.Error(call, "Invalid channel format (" + call.words[2] + ")");
            return;
        }
        list.push_back({fields[0], ChannelKindOf(ParseUIntArg(fields[1]))});
    }
    if (const std::string refused = doc->InsertChannels(list); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    in.Ok(call);
}

void InsertChannel(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const unsigned index = ParseUIntArg(call.words[3]);
    // The count itself appends.
    if (index > static_cast<unsigned>(doc->GetSample().GetChanCount())) {
        in.Error(call, "invalid channel index");
        return;
    }
    const std::string& name = call.words[2];
    for (const std::string& refused :
         {name.empty() ? std::string() : CheckChannelName(name),
          CheckChannelCount(static_cast<std::size_t>(doc->GetSample().GetChanCount()) + 1)})
        if (!refused.empty()) {
            in.Error(call, refused);
            return;
        }
    // The name empty gives the sample's default name of the kind.
    const std::int32_t kind = ChannelKindOf(ParseUIntArg(call.words[4]));
    const std::string refused = doc->TryInsertChannel(
        kind, static_cast<int>(index), name.empty() ? doc->GetSample().MakeChanName(kind) : name);
    if (!refused.empty()) {
        in.Error(call, refused);
        return;
    }
    in.Ok(call);
}

// The channel takes the document's display name for it (the name follows its compound or energy).
void RenameToDisplayName(CZunDoc& doc, int index, const std::string& oldName) {
    const std::string display = doc.GetChannelDisplayName(index);
    if (!display.empty() && display != oldName) doc.RenameChannel(oldName, display);
}

void SetupCompChannel(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const unsigned index = ParseUIntArg(call.words[2]);
    // Another kind's channel has no row in the composition tables.
    if (!CheckChannel(in, call, *doc, index, ZunChan::kComposition)) return;
    const int i = static_cast<int>(index);
    ZunChan& chan = *doc->GetSample().GetChan(i);
    const std::string oldName = chan.name;
    Compound compound = chan.compound;
    if (compound.SetFormula(call.words[3], true) != 0) {
        in.Error(call, "parse formula");
        return;
    }
    // The compound dialog's density rule; the value keeps the word's double precision.
    float checked = 0.0f;
    if (!CompoundPropsModel::ReadDensity(call.words[4], &checked)) {
        in.Error(call, compoundmsg::kInvalidDensity);
        return;
    }
    compound.density = ParseDoubleArg(call.words[4]);
    chan.compound = compound;
    chan.modified = true;
    std::vector<float>& accuracy = doc->GetModel().GetParams().volumeFractionAccuracy;
    if (index < accuracy.size()) accuracy[index] = 0.0f;
    doc->SetModifiedFlag(true);
    RenameToDisplayName(*doc, i, oldName);
    // An open attenuation window would go on showing the old compound's values.
    if (std::unique_ptr<RemoteDocWindow> window = in.Host().DocumentWindow(*doc))
        window->RefreshPropertyDialogs(i);
    in.Ok(call);
}

void SetupCtChannel(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const unsigned index = ParseUIntArg(call.words[2]);
    // A channel of another kind has no CT position: its energy would land in another's row.
    if (!CheckChannel(in, call, *doc, index, ZunChan::kXrayCt)) return;
    const int i = static_cast<int>(index);
    ZunImage& sample = doc->GetSample();
    ZunChan& chan = *sample.GetChan(i);
    const std::string oldName = chan.name;
    Params& p = doc->GetModel().GetParams();
    const std::size_t number = static_cast<std::size_t>(i - sample.FirstChanOfKind(ZunChan::kXrayCt) + 1);
    if (number >= p.ctBeamEnergy.size()) {
        in.Error(call, "recalc table");
        return;
    }
    // Where the attenuation source has no data the coefficients would all be 0.
    if (const std::string refused =
            CheckBeamEnergy(doc->Settings().attenuationMethod, ParseFloatArg(call.words[3]));
        !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    const std::vector<float> savedMatrix = p.lacMatrix;
    const float savedEnergy = p.ctBeamEnergy[number];
    // The command sets the monochromatic energy only; a polychromatic channel stays one.
    p.ctBeamEnergy[number] = ParseFloatArg(call.words[3]);
    doc->ComputeCompositionCoefficients(i);
    for (int c = 0; c <= p.compositionCount; ++c) {
        const std::size_t at = p.MatrixIndex(static_cast<int>(number), c);
        // A coefficient the attenuation source cannot give leaves the channel as it was.
        if (at < p.lacMatrix.size() && !(p.lacMatrix[at] >= 0.0f)) {
            p.lacMatrix = savedMatrix;
            p.ctBeamEnergy[number] = savedEnergy;
            in.Error(call, "recalc table");
            return;
        }
    }
    chan.modified = true;
    doc->SetModifiedFlag(true);
    RenameToDisplayName(*doc, i, oldName);
    in.Ok(call);
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::vector<std::string> ListImportFiles(const std::string& folder, const std::string& extension,
                                         double first, double end) {
    std::vector<std::string> matching;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        // Only regular files: a named pipe would block its probe until some writer came.
        std::error_code kind;
        if (!it->is_regular_file(kind)) continue;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos || name.compare(dot + 1, std::string::npos, extension) != 0) continue;
        matching.push_back(name);
    }
    // The folder's own order is arbitrary here; slices must follow the names.
    std::stable_sort(matching.begin(), matching.end(), LessNoCase);
    std::vector<std::string> taken;
    for (std::size_t n = 0; n < matching.size(); ++n)
        if (first <= static_cast<double>(n) && static_cast<double>(n) < end) taken.push_back(matching[n]);
    return taken;
}

namespace {

void ImportData(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SampleDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    const unsigned index = ParseUIntArg(w[2]);
    if (!CheckChannel(in, call, *doc, index)) return;
    // Before the channel's settings change: a refused folder leaves them as they were.
    if (const std::string refused = CheckPathUse(w[3], PathUse::kReadFolder); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    const int i = static_cast<int>(index);
    ZunImage& sample = doc->GetSample();
    ZunChan& chan = *sample.GetChan(i);
    const std::string name = chan.name;
    std::vector<int> slices(static_cast<std::size_t>(std::max(sample.GetSliceCount(), 0)));
    for (std::size_t k = 0; k < slices.size(); ++k) slices[k] = static_cast<int>(k);

    ImageImportSettings s;
    if (chan.kind == ZunChan::kXrayCt) {
        chan.rescaleByEnergy = ParseBoolArg(w[7]);
        chan.autoAttenuation = ParseBoolArg(w[8]);
        s.rescaleByEnergy = chan.rescaleByEnergy;
        s.autoAttenuation = chan.autoAttenuation;
        s.lacAtZero = ParseFloatArg(w[9]);
        s.lacAtOne = ParseFloatArg(w[10]);
        const std::size_t number = static_cast<std::size_t>(i - sample.FirstChanOfKind(ZunChan::kXrayCt) + 1);
        const std::vector<float>& energy = doc->GetModel().GetParams().ctBeamEnergy;
        s.keV = number < energy.size() ? energy[number] : 0.0f;
        bool anyImported = false;
        for (int k = 0; k < chan.GetSliceCount(); ++k) {
            std::array<std::int32_t, 4> rect{};
            anyImported = anyImported || chan.GetSlice(k)->GetImportedRect(rect);
        }
        s.limitsEditable = !anyImported || sample.GetSliceCount() == 0;
    } else {
        s.rescaleByEnergy = false;
        s.autoAttenuation = false;
        s.lacAtZero = 0.0f;
        s.lacAtOne = 1.0f;
        s.keV = 0.0f;
        s.limitsEditable = false;
    }
    s.applyScale = ParseBoolArg(w[11]);
    s.scaleFactor = ParseFloatArg(w[12]);
    s.applyZeroOffset = ParseBoolArg(w[13]);
    s.zeroOffset = ParseFloatArg(w[14]);
    s.crop = ParseBoolArg(w[15]);
    s.cropX = ParseIntArg(w[16]);
    s.cropY = ParseIntArg(w[17]);
    s.retain = ParseBoolArg(w[18]);
    sample.SetApplyScale(i, s.applyScale);
    sample.SetScaleFactor(i, s.scaleFactor);
    sample.SetApplyZeroOffset(i, s.applyZeroOffset);
    sample.SetZeroOffset(i, s.zeroOffset);
    sample.SetCropImages(i, s.crop);
    sample.SetCropX(i, s.cropX);
    sample.SetCropY(i, s.cropY);
    sample.SetRetainImages(i, s.retain);

    const std::vector<std::string> files =
        ListImportFiles(w[3], w[6], ParseFloatArg(w[4]), ParseFloatArg(w[5]));
    std::string failure;
    {
        // The menu's import: its own messages and its progress window. The request replied no
        // EXTEND, so its progress has no tag of its own and is not the controller's to hear.
        const WorkReportPause quiet;
        const std::unique_ptr<RemoteDocWindow> window = in.Host().DocumentWindow(*doc);
        const std::unique_ptr<RemoteShownWindow> progress =
            window ? window->ShowDocumentProgress("Importing " + name) : nullptr;
        // The import shows its own messages; the controller hears them as well. A range that
        // takes no file asks nothing and fails nothing.
        doc->ImportImageStack(name, slices, w[3], files, s, &failure);
    }
    if (!failure.empty()) {
        in.Error(call, failure);
        return;
    }
    in.Ok(call);
}

}  // namespace

void InstallSampleCommands(RemoteInterpreter& in) {
    in.SetHandler("setupgrids", SetupGrids);
    in.SetHandler("setupgrid", SetupGrid);
    in.SetHandler("insertchannels", InsertChannels);
    in.SetHandler("insertchannel", InsertChannel);
    in.SetHandler("setupcompchannel", SetupCompChannel);
    in.SetHandler("setupctchannel", SetupCtChannel);
    in.SetHandler("importdata", ImportData);
}

}  // namespace zun
