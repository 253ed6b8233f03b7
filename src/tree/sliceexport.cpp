#include "tree/sliceexport.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "document/docmessages.h"
#include "foundation/image.h"
#include "foundation/pathutil.h"
#include "foundation/pngwriter.h"
#include "foundation/threadcount.h"
#include "model/sample.h"
#include "platform/mainframe.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tree/colourscheme.h"
#include "tree/composite.h"
#include "tree/displaytree.h"

namespace zun {

std::string sliceexport::ManyFilesQuestion(unsigned count) {
    return "Up to " + std::to_string(count) + " files will be written - proceed?";
}

SliceGeometry GetSliceGeometry(int nx, int ny, int nz, int plane) {
    switch (plane) {
        case kPlaneYZ:
            return {nx, ny, nz};
        case kPlaneZX:
            return {ny, nz, nx};
        default:
            return {nz, nx, ny};
    }
}

int SliceNumberDigits(int count) {
    if (count < 2) return 1;
    return static_cast<int>(std::floor(std::log10((count - 1) + 0.49))) + 1;
}

std::string SafeFileNamePart(const std::string& part) {
    std::string out = part;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
    }
    return out;
}

std::string SliceFileName(const std::string& folder, const std::string& title, const std::string& channel,
                          int bits, int plane, int format, int slice, int count) {
    static const char* const kMonoTags[] = {"_XY_", "_YZ_", "_ZX_"};
    static const char* const kColourTags[] = {"XY_", "YZ_", "ZX_"};
    const int p = std::clamp(plane, 0, 2);
    std::string name = SafeFileNamePart(StripFileExtension(title));
    if (bits > 0)
        name += "_" + SafeFileNamePart(channel) + "_mono" + std::to_string(bits) + kMonoTags[p];
    else
        name += std::string("_colour_") + kColourTags[p];
    std::string number = std::to_string(slice);
    const int digits = SliceNumberDigits(count);
    if (static_cast<int>(number.size()) < digits) number.insert(0, digits - number.size(), '0');
    name += number + (format == kImagePng ? ".png" : ".tif");
    return (std::filesystem::path(folder) / name).string();
}

namespace {

struct ChosenChannel {
    std::string name;
    const TreeNode* item = nullptr;  // the tree's channel item (may be missing in the document scope)
    const imtype* data = nullptr;
    bool boundary = false;
};

// The chosen channels and, in the slice scope, which of their slices were selected.
struct Selection {
    std::vector<ChosenChannel> channels;
    std::vector<std::uint8_t> marks;  // nz x channels, slice scope only
    int nz = 0;
    bool Marked(std::size_t k, int z) const {
        return marks[static_cast<std::size_t>(z) * channels.size() + k];
    }
};

bool AddChannel(const ZunImage& sample, const std::string& name, const TreeNode* item, Selection& sel) {
    const ZunChan* chan = sample.FindChan(name);
    if (!chan || !chan->Data() || CountVoxels(Dims{chan->nx, chan->ny, chan->nz}) != sample.GetNumVoxels())
        return false;
    sel.channels.push_back({name, item, chan->Data(), chan->kind == ZunChan::kBoundary});
    return true;
}

Selection CollectChannels(const SliceExportJob& job, int nz) {
    Selection sel;
    sel.nz = nz;
    const DisplayTree& tree = *job.tree;
    const ZunImage& sample = *job.sample;
    if (job.scope == kExportSelectedSlices) {
        std::vector<std::pair<std::size_t, int>> marked;
        const TreeNode* parent = nullptr;
        bool parentTaken = false;
        for (const TreeNode* s = tree.FirstSelectedSlice(); s; s = tree.NextSelectedSlice(s)) {
            if (s->parent != parent) {
                parent = s->parent;
                parentTaken = parent && AddChannel(sample, DisplayTree::GetItemName(parent), parent, sel);
            }
            if (!parentTaken) continue;
            char* end = nullptr;
            const long z = std::strtol(s->label.c_str(), &end, 10);
            if (end != s->label.c_str() && z >= 0 && z < nz)
                marked.emplace_back(sel.channels.size() - 1, static_cast<int>(z));
        }
        sel.marks.assign(static_cast<std::size_t>(nz) * sel.channels.size(), 0);
        for (const auto& [k, z] : marked)
            sel.marks[static_cast<std::size_t>(z) * sel.channels.size() + k] = 1;
    } else if (job.scope == kExportSelectedChannels) {
        for (const TreeNode* c = tree.FirstSelectedChannel(); c; c = tree.NextSelectedChannel(c))
            AddChannel(sample, DisplayTree::GetItemName(c), c, sel);
    } else {
        for (int i = 0; i < sample.GetChanCount(); ++i) {
            const std::string name = sample.GetChanNameCStr(i);
            AddChannel(sample, name, tree.Root() ? tree.FindChannel(name) : nullptr, sel);
        }
    }
    return sel;
}

// Where the pixel (column, row) of slice s of a plane lies in the sample.
struct PlaneWalk {
    int plane, nx, ny, s;
    std::size_t Voxel(int col, int row) const {
        switch (plane) {
            case kPlaneYZ:
                return (static_cast<std::size_t>(row) * ny + col) * nx + s;
            case kPlaneZX:
                return (static_cast<std::size_t>(col) * ny + s) * nx + row;
            default:
                return (static_cast<std::size_t>(s) * ny + row) * nx + col;
        }
    }
    int Z(int col, int row) const { return plane == kPlaneYZ ? row : (plane == kPlaneZX ? col : s); }
};

// The status-bar progress of the run: created on Start, removed when the run ends.
class StatusBarProgress {
public:
    explicit StatusBarProgress(const SliceExportServices& s) : s_(s) {}
    ~StatusBarProgress() {
        if (started_ && s_.frame) s_.frame->Send({FrameMsg::StatusProgress, s_.document, 3, 1, {}});
    }
    void Start(std::int64_t range) {
        range_ = std::max<std::int64_t>(range, 1);
        started_ = true;
        if (s_.frame) s_.frame->Send({FrameMsg::StatusProgress, s_.document, 1, range, {}});
    }
    // Moves both bars; true when the user cancelled.
    bool Step(std::int64_t done) {
        if (s_.frame) s_.frame->Send({FrameMsg::StatusProgress, s_.document, 2, done, {}});
        return s_.progress && s_.progress->SetProgress(static_cast<int>(done * 100 / range_));
    }

private:
    const SliceExportServices& s_;
    std::int64_t range_ = 1;
    bool started_ = false;
};

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Calls pixel(col, row) for every pixel of a slice image in parallel. Along ZX the columns are the
// z planes, so the loop runs over columns to read each plane's x rows in memory order.
template <class F>
void ForEachPixel(int plane, const SliceGeometry& g, int threads, F pixel) {
    omp_set_dynamic(0);
    if (plane == kPlaneZX) {
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
        for (int col = 0; col < g.width; ++col)
            for (int row = 0; row < g.height; ++row) pixel(col, row);
    } else {
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
        for (int row = 0; row < g.height; ++row)
            for (int col = 0; col < g.width; ++col) pixel(col, row);
    }
}

int ThreadCount(const SliceExportServices& s) {
    return TeamThreads(s.threads);
}

// Steps 1 and 3 of both exports: false when the run ends here.
bool CheckSizeAndAsk(const SliceExportJob& job, const SliceExportServices& services, const SliceGeometry& geo,
                     SliceExportResult& result) {
    const Dims& d = job.sample->GetDims();
    if (d.size() < 3 || d[0] < 1 || d[1] < 1 || d[2] < 1) {
        result.message = sliceexport::kTooSmall;
        if (services.prompt) services.prompt->Tell(result.message, PromptIcon::Error);
        result.refused = true;
        return false;
    }
    if (geo.count >= 500) {
        result.asked = true;
        if (services.prompt &&
            services.prompt->Ask({sliceexport::ManyFilesQuestion(static_cast<unsigned>(geo.count)),
                                  {},
                                  {},
                                  PromptButtons::OkCancel,
                                  PromptIcon::Question}) == kPromptCancel) {
            result.cancelled = true;
            return false;
        }
    }
    return true;
}

template <class T>
std::unique_ptr<Image2d<T>> AllocateSliceImage(const SliceGeometry& geo, int channels, Prompt* prompt) {
    try {
        auto image = std::make_unique<Image2d<T>>(Dims{geo.width, geo.height});
        if (image->AppendPlanes(channels) >= 0) return image;
    } catch (const std::bad_alloc&) {
    }
    ShowInsufficientMemoryError(prompt, sliceexport::kMemoryActivity);
    return nullptr;
}

// `files`: how many the run tried to write, over every channel, so that a run where each of them
// failed says so.
void Finish(const SliceExportServices& services, SliceExportResult& result, std::size_t files) {
    result.message = FileFailuresText(result.failures, files, sliceexport::kReportVerb);
    if (services.prompt && !result.message.empty())
        services.prompt->Tell(result.message, PromptIcon::Warning);
}

// Sample value -> grey sample: trunc(v * max / 16383 + 0.5), at most max.
template <class T>
std::vector<T> GreyTable() {
    constexpr double top = sizeof(T) == 1 ? 255.0 : 65535.0;
    std::vector<T> table(16384);
    for (int v = 0; v < 16384; ++v)
        table[static_cast<std::size_t>(v)] = static_cast<T>(std::min(top, std::trunc(v * top / 16383 + 0.5)));
    return table;
}

template <class T>
SliceExportResult ExportData(const SliceExportJob& job, int bits, const SliceExportServices& services) {
    SliceExportResult result;
    const Dims& d = job.sample->GetDims();
    const int nx = d.size() > 0 ? d[0] : 0, ny = d.size() > 1 ? d[1] : 0, nz = d.size() > 2 ? d[2] : 0;
    const SliceGeometry geo = GetSliceGeometry(nx, ny, nz, job.plane);
    if (!CheckSizeAndAsk(job, services, geo, result)) return result;
    const Selection sel = CollectChannels(job, nz);
    auto image = AllocateSliceImage<T>(geo, 1, services.prompt);
    if (!image) {
        result.refused = true;
        result.message = docmsg::InsufficientMemory(sliceexport::kMemoryActivity);
        return result;
    }
    const bool sliceScope = job.scope == kExportSelectedSlices;
    auto visible = [&](std::size_t k, int z) { return !sliceScope || sel.Marked(k, z); };
    bool any = false;
    for (std::size_t k = 0; k < sel.channels.size() && !any; ++k)
        for (int z = 0; z < nz && !any; ++z) any = visible(k, z);
    if (!any) {
        result.failures.Add(sliceexport::kNothingVisible);
        result.refused = true;
        Finish(services, result, static_cast<std::size_t>(geo.count));
        return result;
    }

    const std::vector<T> table = GreyTable<T>();
    const int threads = ThreadCount(services);
    StatusBarProgress progress(services);
    progress.Start(static_cast<std::int64_t>(sel.channels.size()) * geo.count);
    T* pixels = image->Plane(0);
    std::size_t tried = 0;
    for (std::size_t k = 0; k < sel.channels.size() && !result.cancelled; ++k) {
        const imtype* data = sel.channels[k].data;
        for (int s = 0; s < geo.count; ++s) {
            if (job.plane == kPlaneXY && !visible(k, s)) continue;
            const std::string name = SliceFileName(job.folder, job.title, sel.channels[k].name, bits,
                                                   job.plane, job.format, s, geo.count);
            ++tried;
            if (job.format == kImagePng) {
                // Grey PNG files are not offered: the run goes on and reports them.
                result.failures.Add(name);
            } else {
                const PlaneWalk walk{job.plane, nx, ny, s};
                const auto fillStart = Clock::now();
                // A slice left out of the selection shows black, never what an earlier file held.
                ForEachPixel(job.plane, geo, threads, [&](int col, int row) {
                    pixels[static_cast<std::size_t>(row) * geo.width + col] =
                        visible(k, walk.Z(col, row)) ? table[data[walk.Voxel(col, row)] & 0x3FFF] : T(0);
                });
                const auto writeStart = Clock::now();
                result.fillSeconds += std::chrono::duration<double>(writeStart - fillStart).count();
                if (Image2d<T>::WriteTiff(name, *image) != 0)
                    result.failures.Add(name);
                else
                    result.written.push_back(name);
                result.writeSeconds += Since(writeStart);
            }
            if (progress.Step(static_cast<std::int64_t>(k) * geo.count + s + 1)) {
                result.cancelled = true;
                break;
            }
        }
    }
    Finish(services, result, tried);
    return result;
}

}  // namespace

SliceExportResult ExportSliceImagesData(const SliceExportJob& job, int bits,
                                        const SliceExportServices& services) {
    return bits == 8 ? ExportData<uint8>(job, 8, services) : ExportData<imtype>(job, 16, services);
}

SliceExportResult ExportSliceImagesColour(const SliceExportJob& job, std::uint32_t viewBackground,
                                          const SliceExportServices& services) {
    SliceExportResult result;
    const Dims& d = job.sample->GetDims();
    const int nx = d.size() > 0 ? d[0] : 0, ny = d.size() > 1 ? d[1] : 0, nz = d.size() > 2 ? d[2] : 0;
    const SliceGeometry geo = GetSliceGeometry(nx, ny, nz, job.plane);
    if (!CheckSizeAndAsk(job, services, geo, result)) return result;
    const Selection sel = CollectChannels(job, nz);
    const bool png = job.format == kImagePng;
    const int channels = png ? 4 : 3;
    auto image = AllocateSliceImage<uint8>(geo, channels, services.prompt);
    if (!image) {
        result.refused = true;
        result.message = docmsg::InsufficientMemory(sliceexport::kMemoryActivity);
        return result;
    }

    // The composite of every plane z: one prepared item per chosen channel.
    const bool sliceScope = job.scope == kExportSelectedSlices;
    const int viewOption = job.tree->viewOption;
    std::vector<SliceLayers> planes(static_cast<std::size_t>(nz));
    std::vector<int> counts(static_cast<std::size_t>(nz), 0);
    int nonBoundary = 0;
    for (const ChosenChannel& c : sel.channels) nonBoundary += !c.boundary;
    const std::uint32_t background =
        viewOption != 0 ? ColourSchemeMap(viewBackground, ColourSchemeOfViewOption(viewOption))
                        : (viewBackground & 0xFFFFFF);
    for (int z = 0; z < nz; ++z) {
        SliceLayers& layers = planes[static_cast<std::size_t>(z)];
        layers.items.resize(sel.channels.size());
        layers.nonBoundary = nonBoundary;
        layers.viewOption = viewOption;
        layers.hasBackground = !png;
        layers.background = background;
        for (std::size_t k = 0; k < sel.channels.size(); ++k) {
            const ChosenChannel& c = sel.channels[k];
            ItemLayers& item = layers.items[k];
            item.data = c.data;
            const TreeNode* slice =
                c.item ? job.tree->FindSlice(c.item, static_cast<std::uint32_t>(z)) : nullptr;
            if (!slice || slice->spec.shown.displayItems == 0 || (sliceScope && !sel.Marked(k, z))) continue;
            counts[static_cast<std::size_t>(z)] +=
                PrepareItemColours(slice->spec, job.sample, viewOption, item);
        }
    }
    if (std::all_of(counts.begin(), counts.end(), [](int n) { return n == 0; })) {
        result.failures.Add(sliceexport::kNothingVisible);
        result.refused = true;
        Finish(services, result, static_cast<std::size_t>(geo.count));
        return result;
    }

    const int threads = ThreadCount(services);
    StatusBarProgress progress(services);
    progress.Start(geo.count);
    std::array<uint8*, 4> out{};
    for (int c = 0; c < channels; ++c) out[static_cast<std::size_t>(c)] = image->Plane(c);
    std::size_t tried = 0;
    for (int s = 0; s < geo.count; ++s) {
        if (job.plane == kPlaneXY && counts[static_cast<std::size_t>(s)] == 0) continue;
        const std::string name =
            SliceFileName(job.folder, job.title, {}, 0, job.plane, job.format, s, geo.count);
        ++tried;
        const PlaneWalk walk{job.plane, nx, ny, s};
        const auto fillStart = Clock::now();
        // Planes where nothing is displayed composite to the background (or transparency), so every
        // pixel of every file is the composite: no row keeps what the previous file held.
        ForEachPixel(job.plane, geo, threads, [&](int col, int row) {
            const std::size_t at = static_cast<std::size_t>(row) * geo.width + col;
            std::uint8_t rgba[4];
            CompositeAt(planes[static_cast<std::size_t>(walk.Z(col, row))], walk.Voxel(col, row), rgba);
            for (int c = 0; c < channels; ++c) out[static_cast<std::size_t>(c)][at] = rgba[c];
        });
        const auto writeStart = Clock::now();
        result.fillSeconds += std::chrono::duration<double>(writeStart - fillStart).count();
        const int rc = png ? WritePngImage(*image, name, 8, false) : Image2d<uint8>::WriteTiff(name, *image);
        if (rc != 0)
            result.failures.Add(name);
        else
            result.written.push_back(name);
        result.writeSeconds += Since(writeStart);
        if (progress.Step(s + 1)) {
            result.cancelled = true;
            break;
        }
    }
    Finish(services, result, tried);
    return result;
}

}  // namespace zun
