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

// One of the two readings of a file as half of the operation's bar: the check (which may be
// cancelled) from 0 %, the reading into the channels (which is not) from 50 %.
class HalfProgress : public ProgressSink {
public:
    HalfProgress(ProgressSink* sink, bool second) : sink_(sink), second_(second) {}
    void SetText(const std::string& text) override { sink_->SetText(text); }
    void SetPos(int percent) override { sink_->SetPos(Scaled(percent)); }
    bool SetProgress(int percent) override {
        if (!second_) return sink_->SetProgress(Scaled(percent));
        sink_->SetPos(Scaled(percent));
        return false;
    }

private:
    int Scaled(int percent) const { return (second_ ? 50 : 0) + ClampPercent(percent) / 2; }
    ProgressSink* sink_;
    bool second_;
};

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
    for (int i : channels) {
        const ZunChan& c = *sample_->GetChan(i);
        DataChannel dc;
        dc.name = c.name;
        dc.kind = c.kind;
        if (c.range.size() == 2) {
            dc.rangeMin = c.range[0];
            dc.rangeMax = c.range[1];
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
    for (std::size_t i = 0; i < all.size(); ++i) {
        const imtype* w = sample_->GetChan(all[i])->Data();
        out.channels[i].words.assign(w, w + out.PlaneWords() * out.nz);
    }
    return out;
}

// The planes of the document's channels, as the text writer takes them.
PlaneWords CZunDoc::TextPlanes(const std::vector<int>& channels,
                               const std::vector<std::uint32_t>& planes) const {
    return [this, channels, planes](std::size_t c, std::size_t p) -> const std::uint16_t* {
        const Dims& d = sample_->GetDims();
        const std::size_t plane = static_cast<std::size_t>(d[0]) * d[1];
        return sample_->GetChan(channels[c])->Data() + plane * (planes.empty() ? p : planes[p]);
    };
}

bool CZunDoc::FillFromData(const DataDocument& data, const std::string& path, const FillWords& words) {
    // Only a new, empty document is filled.
    if (sample_->GetChanCount() != 1 || sample_->GetNumVoxels() != 0) return false;
    const std::string firstName = sample_->GetChan(0)->name;
    const std::array<std::uint32_t, 3> emptyGrid = GridSizeOf(*sample_);
    // The interaction planes are built once for the whole file, and not at all when it is refused.
    Params::PlaneHold hold(model_->GetParams());
    bool filled = false;
    try {
        if (FillChannels(data, words)) {
            hold.Release();
            ApplyDataSettings(data);
            filled = true;
        }
    } catch (const ProgressCancelled&) {
        // The user's Cancel: the half-read data go, nothing to tell.
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

bool CZunDoc::FillChannels(const DataDocument& data, const FillWords& words) {
    // Every reader checks the list; a caller's own list is held to the same rules.
    if (std::string why = CheckChannelList(data.channels); !why.empty()) {
        Tell(why, kErrorIcon);
        return false;
    }
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
        words(i, c.Data());
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

bool CZunDoc::ImportDataFile(const std::string& path, const std::function<bool()>& import) {
    try {
        return import();
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
        // The words go straight from the file into the channels: the data are held once.
        TextDataReader in(path, services_.progress);
        const DataDocument& header = in.Header();
        if (!header.slices.empty()) throw DataFileError(textfile::Message(textfile::kGridMismatch, path));
        if (std::string why = CheckChannelList(header.channels); !why.empty())
            throw DataFileError(textfile::Message(textfile::kNotTextFile, path, why));
        const bool filled = FillFromData(header, path, [&](std::size_t i, imtype* words) {
            in.ReadChannel(words);
            if (i + 1 == header.channels.size()) in.Finish();
        });
        if (!filled) return false;
        std::vector<FlaggedWords> flagged;
        const std::size_t count = in.ChannelWordCount();
        for (std::size_t i = 0; i < header.channels.size(); ++i)
            if (header.channels[i].kind == ZunChan::kXrayCt)
                flagged.push_back({header.channels[i].name,
                                   CountFlaggedWords(sample_->GetChan(static_cast<int>(i))->Data(), count)});
        warning = FlaggedCtWordsWarning(flagged, path);
        return true;
    });
    if (done && !warning.empty()) Tell(warning, kWarningIcon);
    return done;
}

bool CZunDoc::ImportBinaryDataFile(const std::string& path) {
    return ImportDataFile(path, [&] {
        // The words go straight from the file into the channels: the data are held once.
        BinaryDataReader in(path, services_.progress);
        return FillFromData(in.Header(), path, [&](std::size_t, imtype* words) { in.ReadChannel(words); });
    });
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
    std::vector<int> all(static_cast<std::size_t>(sample_->GetChanCount()));
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    return ExportSelectionToText(all, {}, path, true);
}

bool CZunDoc::ExportBinaryDataFile(const std::string& path) {
    // The words go straight from the channels into the file: the data are held once.
    return WriteDataFile([&] {
        std::vector<int> all(static_cast<std::size_t>(sample_->GetChanCount()));
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        DataDocument header;
        SelectionForText(all, {}, header);
        WriteBinaryDataChannels(
            path, header, [&](std::size_t c) { return sample_->GetChan(static_cast<int>(c))->Data(); },
            services_.progress);
    });
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
                                    const std::vector<std::uint32_t>& planes, const std::string& path,
                                    bool withCompounds) const {
    return WriteDataFile([&] {
        DataDocument d;
        SelectionForText(channels, planes, d);
        if (!withCompounds) d.compounds.clear();
        WriteTextDataPlanes(path, d, TextPlanes(channels, planes), services_.progress);
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
        // The file is read twice, the first time through to its end without keeping a word: a bad
        // file is refused before the document changes, and the data are never held twice.
        std::vector<FlaggedWords> flagged;
        DataDocument header;
        {
            HalfProgress first(services_.progress, false);
            TextDataReader check(path, services_.progress ? &first : nullptr);
            const DataDocument& d = check.Header();
            const Dims& g = sample_->GetDims();
            const std::size_t wantPlanes = planes.empty() ? static_cast<std::size_t>(g[2]) : planes.size();
            if (d.nx != static_cast<std::uint32_t>(g[0]) || d.ny != static_cast<std::uint32_t>(g[1]) ||
                d.PlaneCount() != wantPlanes || (planes.empty() && d.nz != static_cast<std::uint32_t>(g[2])))
                throw DataFileError(Message(kGridMismatch, path));
            if (d.channels.size() != channels.size()) throw DataFileError(Message(kCountMismatch, path));
            std::vector<std::uint16_t> plane(d.PlaneWords());
            // The words go to the document's channels, whatever names and kinds the file gave them.
            for (int i : channels) {
                const ZunChan& c = *sample_->GetChan(i);
                std::size_t count = 0;
                for (std::size_t p = 0; p < d.PlaneCount(); ++p) {
                    check.ReadWords(plane.data(), plane.size());
                    count += CountFlaggedWords(plane.data(), plane.size());
                }
                if (c.kind == ZunChan::kXrayCt) flagged.push_back({c.name, count});
            }
            check.Finish();
            header = d;
        }
        const std::string warning = FlaggedCtWordsWarning(flagged, path);
        HalfProgress second(services_.progress, true);
        TextDataReader in(path, services_.progress ? &second : nullptr);
        // The grid checked is the grid written to.
        if (!(in.Header() == header))
            throw DataFileError(Message(kCannotRead, path, "the file changed while read"));
        const std::size_t plane = header.PlaneWords();
        const std::size_t count = header.PlaneCount();
        auto changed = [&] {
            NoteDataChanged();
            StatsMod stats;
            UpdateAllViews(nullptr, kHintData, &stats);
        };
        try {
            for (int i : channels) {
                ZunChan& c = *sample_->GetChan(i);
                c.modified = true;
                for (std::size_t p = 0; p < count; ++p) {
                    // A whole channel from a slice file: the file names the plane of each block.
                    const std::uint32_t z = !planes.empty()          ? planes[p]
                                            : !header.slices.empty() ? header.slices[p]
                                                                     : static_cast<std::uint32_t>(p);
                    in.ReadWords(c.Data() + plane * z, plane);
                }
            }
            in.Finish();
        } catch (...) {
            // Only a file changed since the first reading gets here: show what was taken.
            changed();
            throw;
        }
        changed();
        if (!warning.empty()) Tell(warning, kWarningIcon);
        return true;
    } catch (const DataFileError& e) {
        Tell(e.what(), kErrorIcon);
    } catch (const ProgressCancelled&) {
        // The user's Cancel while the file was checked: nothing was taken, nothing to tell.
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "importing " + path);
    }
    return false;
}

}  // namespace zun
