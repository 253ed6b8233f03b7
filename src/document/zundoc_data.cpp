// The document's binary and text data files: whole-document import and export, and text
// import and export of selected channels or slices.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>

#include "document/binarydatafile.h"
#include "document/docadapters.h"
#include "document/docmessages.h"
#include "document/textdatafile.h"
#include "document/zundoc.h"
#include "platform/progress.h"
#include "platform/prompt.h"

namespace zun {

namespace {

const int kErrorIcon = static_cast<int>(PromptIcon::Error);
const int kWarningIcon = static_cast<int>(PromptIcon::Warning);

std::string StemOf(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

}  // namespace

void CZunDoc::SelectionForText(const std::vector<int>& channels, const std::vector<std::uint32_t>& planes,
                               DataDocument& out) const {
    const Dims& d = sample_->GetDims();
    out.nx = static_cast<std::uint32_t>(d[0]);
    out.ny = static_cast<std::uint32_t>(d[1]);
    out.nz = static_cast<std::uint32_t>(d[2]);
    out.notes = settings_.notes;
    out.method = settings_.attenuationMethod;
    out.coefficientKind = settings_.coefficientKind;
    out.slices = planes;
    const Params& p = model_->GetParams();
    if (p.voxelPhysicalSize.size() == 4) {
        out.multiplier = p.voxelPhysicalSize[0];
        out.sx = p.voxelPhysicalSize[1];
        out.sy = p.voxelPhysicalSize[2];
        out.sz = p.voxelPhysicalSize[3];
    }
    const int firstCt = sample_->FirstChanOfKind(ZunChan::kXrayCt);
    const std::size_t plane = out.PlaneWords();
    for (int i : channels) {
        const ZunChan& c = *sample_->GetChan(i);
        DataChannel dc;
        dc.name = c.name;
        dc.kind = c.kind;
        if (c.range.size() == 2) {
            dc.rangeMin = c.range[0];
            dc.rangeMax = c.range[1];
        }
        const imtype* w = c.Data();
        if (planes.empty()) {
            dc.words.assign(w, w + plane * out.nz);
        } else {
            dc.words.resize(plane * planes.size());
            for (std::size_t k = 0; k < planes.size(); ++k)
                std::memcpy(dc.words.data() + k * plane, w + plane * planes[k], plane * sizeof(imtype));
        }
        const auto at = static_cast<std::int32_t>(out.channels.size());
        if (c.kind == ZunChan::kComposition && (!c.compound.GetFormula().empty() || c.compound.density != 0))
            out.compounds.push_back({at, c.compound.GetFormula(), c.compound.density});
        if (c.kind == ZunChan::kComposition && i < static_cast<int>(p.volumeFractionAccuracy.size()) &&
            p.volumeFractionAccuracy[static_cast<std::size_t>(i)] != 0)
            out.accuracies[at] = p.volumeFractionAccuracy[static_cast<std::size_t>(i)];
        if (c.kind == ZunChan::kXrayCt) {
            const auto number = static_cast<std::size_t>(i - firstCt + 1);
            if (number < p.ctBeamEnergy.size()) out.beamEnergies[at] = p.ctBeamEnergy[number];
            if (number < p.ctRelativeAccuracy.size() && p.ctRelativeAccuracy[number] != 0)
                out.accuracies[at] = p.ctRelativeAccuracy[number];
        }
        out.channels.push_back(std::move(dc));
    }
}

DataDocument CZunDoc::ToDataDocument() const {
    std::vector<int> all(static_cast<std::size_t>(sample_->GetChanCount()));
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    DataDocument out;
    SelectionForText(all, {}, out);
    return out;
}

bool CZunDoc::FillFromData(DataDocument& data, const std::string& path) {
    // Only a new, empty document is filled.
    if (sample_->GetChanCount() != 1 || sample_->GetNumVoxels() != 0) return false;
    const std::string firstName = sample_->GetChan(0)->name;
    const std::array<std::uint32_t, 3> emptyGrid = GridSizeOf(*sample_);
    bool filled = false;
    try {
        filled = FillChannels(data);
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "importing " + path);
    } catch (const std::exception& e) {
        // Whatever else stops the import half way, the document goes back to new and empty.
        Tell(e.what(), kErrorIcon);
    }
    if (!filled) {
        // A refusal half way leaves the document as new and empty as it was, so it can take
        // another file.
        std::vector<std::string> added;
        for (int i = 1; i < sample_->GetChanCount(); ++i) added.push_back(sample_->GetChan(i)->name);
        DeleteChannels(added, true);
        sample_->RenameChan(firstName, 0);
        ResizeVolume(emptyGrid, {0, 0, 0});
        modified_ = false;
        return false;
    }
    settings_.notes = data.notes;
    model_->GetParams().setupChanged = false;
    path_.clear();
    title_ = StemOf(path);
    nameText_ = title_;
    RenameDocMod hint(title_);
    UpdateAllViews(nullptr, kHintRename, &hint);
    modified_ = false;
    return true;
}

bool CZunDoc::FillChannels(const DataDocument& data) {
    if (ResizeVolume({data.nx, data.ny, data.nz}, {0, 0, 0}) != 0) return false;
    for (std::size_t i = 0; i < data.channels.size(); ++i) {
        const DataChannel& dc = data.channels[i];
        if (i == 0) {
            sample_->RenameChan(dc.name, 0);
        } else if (InsertChannel(dc.kind, static_cast<int>(i), dc.name) != 0) {
            return false;
        }
        ZunChan& c = *sample_->GetChan(static_cast<int>(i));
        c.range = {dc.rangeMin, dc.rangeMax};
        if (!dc.words.empty()) std::memcpy(c.Data(), dc.words.data(), dc.words.size() * sizeof(imtype));
        c.modified = true;
    }
    for (const DataCompound& cp : data.compounds) {
        ZunChan& c = *sample_->GetChan(cp.channel);
        // Taken quietly, a formula that does not parse would leave an empty compound behind.
        if (c.compound.SetFormula(cp.formula, true) != 0) {
            Tell("Cannot import the formula \"" + cp.formula + "\": " + c.compound.parseMessage, kErrorIcon);
            return false;
        }
        c.compound.density = cp.density;
    }
    ApplyDataSettings(data);
    return true;
}

void CZunDoc::ApplyDataSettings(const DataDocument& data) {
    Params& p = model_->GetParams();
    p.voxelPhysicalSize = {data.multiplier, data.sx, data.sy, data.sz};
    settings_.attenuationMethod = data.method;
    settings_.coefficientKind = data.coefficientKind;
    const int firstCt = sample_->FirstChanOfKind(ZunChan::kXrayCt);
    for (int i = 0; i < sample_->GetChanCount(); ++i) {
        ZunChan& c = *sample_->GetChan(i);
        auto acc = data.accuracies.find(i);
        if (c.kind == ZunChan::kComposition && acc != data.accuracies.end()) {
            p.volumeFractionAccuracy.resize(static_cast<std::size_t>(p.compositionCount) + 1, 0.0f);
            if (i <= p.compositionCount)
                p.volumeFractionAccuracy[static_cast<std::size_t>(i)] = static_cast<float>(acc->second);
        }
        if (c.kind != ZunChan::kXrayCt) continue;
        const auto number = static_cast<std::size_t>(i - firstCt + 1);
        // The file's range is the measured attenuation at words 0 and 16383.
        const float lo = c.range[0], hi = c.range[1];
        model_->SetChannelMeasuredAttenuation(i, lo, 0);
        model_->SetChannelMeasuredAttenuation(i, hi, 1);
        if (auto e = data.beamEnergies.find(i);
            e != data.beamEnergies.end() && number < p.ctBeamEnergy.size()) {
            p.ctBeamEnergy[number] = static_cast<float>(e->second);
            c.polychromatic = false;
            c.dataType = 0;
        }
        if (acc != data.accuracies.end() && number < p.ctRelativeAccuracy.size())
            p.ctRelativeAccuracy[number] = static_cast<float>(acc->second);
        ComputeCompositionCoefficients(i);
    }
}

bool CZunDoc::ImportDataFile(const std::string& path, const std::function<DataDocument()>& read) {
    try {
        DataDocument data = read();
        return FillFromData(data, path);
    } catch (const DataFileError& e) {
        Tell(e.what(), kErrorIcon);
    } catch (const ProgressCancelled&) {
        // The user's Cancel: the half-read data go, nothing to tell.
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "importing " + path);
    } catch (const std::exception& e) {
        Tell(e.what(), kErrorIcon);
    }
    return false;
}

bool CZunDoc::ImportTextDocument(const std::string& path) {
    std::string warning;
    const bool done = ImportDataFile(path, [&] {
        DataDocument data = ReadTextDataFile(path, services_.progress);
        if (!data.slices.empty()) throw DataFileError(textfile::Message(textfile::kGridMismatch, path));
        if (std::string why = CheckChannelList(data.channels); !why.empty())
            throw DataFileError(textfile::Message(textfile::kNotTextFile, path, why));
        warning = FlaggedCtWordsWarning(data, path);
        return data;
    });
    if (done && !warning.empty()) Tell(warning, kWarningIcon);
    return done;
}

bool CZunDoc::ImportBinaryDataFile(const std::string& path) {
    return ImportDataFile(path, [&] { return ReadBinaryDataFile(path, services_.progress); });
}

bool CZunDoc::WriteDataFile(const std::function<void()>& write) const {
    if (IsComputing()) {
        // The worker is writing the voxels: the file would mix two states, as a save would.
        Tell(docmsg::kBusyExport, static_cast<int>(PromptIcon::Warning));
        return false;
    }
    try {
        write();
        return true;
    } catch (const ProgressCancelled&) {
        // Cancelled: the file of that name, if any, was left as it was.
    } catch (const std::exception& e) {
        Tell(e.what(), kErrorIcon);
    }
    return false;
}

bool CZunDoc::ExportTextDocument(const std::string& path) {
    return WriteDataFile([&] { WriteTextDataFile(path, ToDataDocument(), services_.progress); });
}

bool CZunDoc::ExportBinaryDataFile(const std::string& path) {
    return WriteDataFile([&] { WriteBinaryDataFile(path, ToDataDocument(), services_.progress); });
}

namespace {

// Channel indices of the names in the order given; false when one is missing.
bool IndicesOf(const ZunImage& s, const std::vector<std::string>& names, std::vector<int>& out) {
    for (const std::string& n : names) {
        int i = s.FindChanIndex(n);
        if (i < 0) return false;
        out.push_back(i);
    }
    return !out.empty();
}

// The channels and the planes of (channel, slice) records, each once, in first-seen order.
bool SplitRecords(const ZunImage& s, const std::vector<ChanSliceRecord>& records, std::vector<int>& channels,
                  std::vector<std::uint32_t>& planes) {
    for (const ChanSliceRecord& r : records) {
        int i = s.FindChanIndex(r.channel);
        if (i < 0 || r.slice >= static_cast<std::uint32_t>(s.GetSliceCount())) return false;
        if (std::find(channels.begin(), channels.end(), i) == channels.end()) channels.push_back(i);
        if (std::find(planes.begin(), planes.end(), r.slice) == planes.end()) planes.push_back(r.slice);
    }
    return !channels.empty();
}

}  // namespace

bool CZunDoc::ExportSelectionToText(const std::vector<int>& channels,
                                    const std::vector<std::uint32_t>& planes, const std::string& path) const {
    return WriteDataFile([&] {
        DataDocument d;
        SelectionForText(channels, planes, d);
        d.compounds.clear();
        WriteTextDataFile(path, d, services_.progress);
    });
}

bool CZunDoc::ExportChannelsToText(const std::vector<std::string>& names, const std::string& path) {
    std::vector<int> idx;
    return IndicesOf(*sample_, names, idx) && ExportSelectionToText(idx, {}, path);
}

bool CZunDoc::ExportSlicesToText(const std::vector<ChanSliceRecord>& records, const std::string& path) {
    std::vector<int> idx;
    std::vector<std::uint32_t> planes;
    return SplitRecords(*sample_, records, idx, planes) && ExportSelectionToText(idx, planes, path);
}

bool CZunDoc::ImportChannelsFromText(const std::vector<std::string>& names, const std::string& path) {
    std::vector<int> idx;
    if (!IndicesOf(*sample_, names, idx)) return false;
    return ImportSelectionFromText(idx, {}, path);
}

bool CZunDoc::ImportSlicesFromText(const std::vector<ChanSliceRecord>& records, const std::string& path) {
    std::vector<int> idx;
    std::vector<std::uint32_t> planes;
    if (!SplitRecords(*sample_, records, idx, planes)) return false;
    return ImportSelectionFromText(idx, planes, path);
}

bool CZunDoc::ImportSelectionFromText(const std::vector<int>& channels,
                                      const std::vector<std::uint32_t>& planes, const std::string& path) {
    using namespace textfile;
    // The worker writes these voxels while a run goes on.
    if (IsComputing()) return false;
    try {
        DataDocument d = ReadTextDataFile(path, services_.progress);
        const Dims& g = sample_->GetDims();
        const std::size_t wantPlanes = planes.empty() ? static_cast<std::size_t>(g[2]) : planes.size();
        if (d.nx != static_cast<std::uint32_t>(g[0]) || d.ny != static_cast<std::uint32_t>(g[1]) ||
            d.PlaneCount() != wantPlanes || (planes.empty() && d.nz != static_cast<std::uint32_t>(g[2])))
            throw DataFileError(Message(kGridMismatch, path));
        if (d.channels.size() != channels.size()) throw DataFileError(Message(kCountMismatch, path));
        const std::size_t plane = d.PlaneWords();
        // The words go to the document's channels, whatever names and kinds the file gave them.
        for (std::size_t k = 0; k < channels.size(); ++k) {
            d.channels[k].name = sample_->GetChan(channels[k])->name;
            d.channels[k].kind = sample_->GetChan(channels[k])->kind;
        }
        const std::string warning = FlaggedCtWordsWarning(d, path);
        for (std::size_t k = 0; k < channels.size(); ++k) {
            ZunChan& c = *sample_->GetChan(channels[k]);
            const std::vector<std::uint16_t>& w = d.channels[k].words;
            for (std::size_t p = 0; p < wantPlanes; ++p) {
                // A whole channel from a slice file: the file names the plane of each block.
                std::uint32_t z = !planes.empty()     ? planes[p]
                                  : !d.slices.empty() ? d.slices[p]
                                                      : static_cast<std::uint32_t>(p);
                std::memcpy(c.Data() + plane * z, w.data() + plane * p, plane * sizeof(imtype));
            }
            c.modified = true;
        }
        NoteDataChanged();
        StatsMod stats;
        UpdateAllViews(nullptr, kHintData, &stats);
        if (!warning.empty()) Tell(warning, kWarningIcon);
        return true;
    } catch (const DataFileError& e) {
        Tell(e.what(), kErrorIcon);
    } catch (const ProgressCancelled&) {
        // The user's Cancel: the half-read data go, nothing to tell.
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "importing " + path);
    }
    return false;
}

}  // namespace zun
