// Writes the seed corpora (tests/fuzz/corpus/<harness>/) from the program's own writers and a few
// hand-made inputs: `fuzz_seeds <corpus folder>`. The committed seeds came from it; run it again
// when a file layout changes.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "compute/pluginlibs.h"
#include "document/zundoc.h"
#include "energyopt/dialogvars.h"
#include "foundation/craftedtiff.h"
#include "foundation/image.h"
#include "platform/archive.h"
#include "platform/bytestream.h"
#include "platform/prompt.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path g_root;

void Put(const std::string& harness, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_root / harness);
    std::ofstream out(g_root / harness / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
void PutText(const std::string& harness, const std::string& name, const std::string& text) {
    Put(harness, name, Bytes(text.begin(), text.end()));
}
Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}
Bytes Prefixed(std::uint8_t first, const Bytes& b) {
    Bytes out(b.size() + 1);
    out[0] = first;
    std::copy(b.begin(), b.end(), out.begin() + 1);
    return out;
}
template <class T>
void Append(Bytes& b, T v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
}

// A small document: a 4 x 3 x 2 grid, two compositions, a CT channel and a boundary.
void Fill(zun::CZunDoc& doc) {
    doc.ResizeVolume({4, 3, 2}, {0, 0, 0});
    doc.InsertChannel(0, 1, "Water");
    doc.InsertChannel(1, 2, "ct");
    doc.InsertChannel(3, 3, "edge");
    zun::ZunImage& s = doc.GetSample();
    for (int i = 0; i < s.GetChanCount(); ++i) {
        zun::ZunChan& c = *s.GetChan(i);
        for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v)
            c.Data()[v] = static_cast<zun::imtype>(i * 977 + v * 311);
        c.range = {0.0f, 2.0f + i};
    }
    s.GetChan(1)->compound.SetFormula("H2O", true);
    s.GetChan(1)->compound.density = 1.0;
    doc.SetNotes("seed");
    doc.GetModel().GetParams().ctBeamEnergy[1] = 40.0f;
}

// Everything else a user's document carries: an active boundary, notes over several lines, the
// energy-optimisation settings and plug-in settings.
void FillMore(zun::CZunDoc& doc) {
    Fill(doc);
    doc.SetBoundaryActive(true, "edge");
    doc.SetNotes("seed\nsecond line\n");
    doc.SetPlugins(true, {"/opt/zun/plugins"});
    doc.GetModel().SavedPluginSettings() = {{"Smooth", "libsmooth", "width=3", true},
                                            {"Count", "libcount", "", false}};
    auto* vars = dynamic_cast<EnergyOpt::DialogVars*>(doc.EnergyOptVars());
    if (!vars) std::abort();  // the class is not registered: the seed would not be the program's
    vars->compositionNames = {"Water", "Bone"};
    vars->maxIterations = 7;
    vars->beamDomains[0] = {3, 20.0, 80.0};
    vars->optimisedEnergies = {{30.0, 0}, {60.0, 1}};
    vars->evaluationEnergies = {{45.0, 0}};
    vars->metricCompositionNames = {"Water"};
}

void DocumentSeeds(const std::string& tmp) {
    for (int kind : {0, 2, 1}) {
        const bool filled = kind > 0;
        zun::HeadlessPrompt prompt;
        zun::CZunDoc doc{zun::DocServices{&prompt, nullptr, nullptr}};
        doc.OnNewDocument();
        if (kind == 1) Fill(doc);
        if (kind == 2) FillMore(doc);
        const std::string tag = kind == 2 ? "full" : filled ? "small" : "empty";
        zun::MemoryStream ms;
        {
            zun::Archive ar(ms, zun::Archive::Mode::Store);
            doc.Serialize(ar);
            ar.Flush();
        }
        Put("archive", tag, ms.Bytes());
        doc.OnSaveDocument(tmp + ".zun");
        Put("document", tag + ".zun", ReadAll(tmp + ".zun"));
        doc.ExportBinaryDataFile(tmp + ".bin");
        Put("datafiles", tag + ".bin", Prefixed(1, ReadAll(tmp + ".bin")));
        if (filled) {
            doc.ExportTextDocument(tmp + ".txt");
            Put("datafiles", tag + ".txt", Prefixed(0, ReadAll(tmp + ".txt")));
        }
    }
    // A document saved before channel names were checked, with a NUL inside a name: it still
    // opens, and its channel stays reachable.
    {
        zun::HeadlessPrompt prompt;
        zun::CZunDoc doc{zun::DocServices{&prompt, nullptr, nullptr}};
        doc.OnNewDocument();
        Fill(doc);
        const std::string odd("Wa\0ter", 6);
        doc.GetSample().RenameChan(odd, 1);
        doc.GetModel().GetParams().compositionNames[1] = odd;
        doc.OnSaveDocument(tmp + ".zun");
        Put("document", "nulname.zun", ReadAll(tmp + ".zun"));
    }
    // The empty document's file claiming planes of nothing: refused at once.
    Bytes degenerate = ReadAll(tmp + ".bin");
    for (auto [name, nz] :
         {std::pair<const char*, std::uint32_t>{"planes.bin", 100000000u}, {"wrap.bin", 4294967295u}}) {
        Bytes b = Prefixed(1, degenerate);
        const std::uint32_t one = 1;
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&one), 4, b.begin() + 1 + 17 + 4);
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&nz), 4, b.begin() + 1 + 17 + 8);
        Put("datafiles", name, b);
    }
    PutText("datafiles", "hand.txt",
            std::string(1, '\0') +
                "TEXT 1 GRID 2 1 1 CHANNELS 2 NAMES \"a\" \"ct\" TYPES 0 1 RANGES 0 1 0 2\n"
                "COMPOUNDS 0 \"SiO2\" 2.2 BEAM 1 60 DATA 1 16383 7 99 END\n");
}

void SliceSeeds(const std::string& tmp) {
    // TIFF from the program's writer, one and three channels.
    for (int channels : {1, 3}) {
        zun::Image2d<zun::imtype> im(zun::Dims{5, 4});
        im.AppendPlanes(channels);
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < 20; ++i) im.Plane(c)[i] = static_cast<zun::imtype>(i * 3000 + c);
        zun::Image2d<zun::imtype>::WriteTiff(tmp + ".tif", im);
        Put("slices", "writer" + std::to_string(channels) + ".tif", Prefixed(0, ReadAll(tmp + ".tif")));
    }
    // Headers no ordinary writer makes: thousands of samples per pixel, a huge image in a tiny file.
    Put("slices", "samples.tif", Prefixed(0, zun::testing::CraftTiff(1, 1, 65535, 8, {1, 2, 3})));
    Put("slices", "huge.tif", Prefixed(0, zun::testing::CraftTiff(100000, 100000, 1, 8, {1, 2, 3, 4})));
    // Float samples, 8000 a pixel, 65536 x 2 pixels; a row of 2^31 - 1 pixels: gigabytes claimed by
    // a few hundred bytes.
    Put("slices", "floats.tif",
        Prefixed(0, zun::testing::CraftTiff(65536, 2, 8000, 32, Bytes(8, 0), {{339, 3, 1, 3}})));
    Put("slices", "wide.tif", Prefixed(0, zun::testing::CraftTiff(0x7FFFFFFF, 1, 1, 8, Bytes(4, 0))));
    // A Surfer grid and a VO array.
    Bytes grd{'D', 'S', 'B', 'B'};
    Append<std::int16_t>(grd, 3);
    Append<std::int16_t>(grd, 2);
    for (double d : {0.0, 3.0, 0.0, 2.0, -1.0, 6.0}) Append(grd, d);
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, -1.0f}) Append(grd, v);
    Put("slices", "surfer.grd", Prefixed(1, grd));
    const std::string header =
        "VO_DATATYPE = ARRAY2D<short> VO_HEADERTYPE = WAVEHEAD2D VO_FILETYPE = BIN NP = 6.";
    Bytes vod(header.begin(), header.end());
    for (double d : {0.5, -1.0, 2.0, -3.0, 4.0}) Append(vod, d);
    Append<std::int32_t>(vod, 3);
    Append<std::int32_t>(vod, 2);
    for (std::int16_t v : {1, -2, 3, 400, 5, 6}) Append(vod, v);
    Put("slices", "array.vod", Prefixed(1, vod));
}

void TextSeeds() {
    const char* formulas[] = {"H2O",     "SiO2", "Ca5(PO4)3(OH)", "(H2O)0.5(NaCl)2.5", "Fe0.95O",
                              "C6H12O6", "U",    "H1e3O",         "Mg(OH)2",           "((CH3)2)3"};
    int n = 0;
    for (const char* f : formulas) PutText("formula", "f" + std::to_string(n++), f);
    const char* lines[] = {"a[0][0][0] = 3",
                           "sumt(a)",
                           "a += 1; maxt(a) - mint(ct)",
                           "{1, 2, 3}[1 .. 2] * 2.5",
                           "resamp({1, 2, 3}, {6})",
                           "sumt(1 .. 100)",
                           "a[1][2][0].raw == ct[1][1][0].raw ? \"yes\" : \"no\"",
                           "(float)a.max / sizeof(a)",
                           "x = rand(10, 3)",
                           "ct[0][1][0].raw++, a.phys.raw",
                           "sumt(1 .. 200000000), maxt(-5 .. 5)",
                           "resamp({1,2,3}, {1000000000})",
                           "{1 .. 100000000}",
                           "rand(1 .. 100000000)"};
    n = 0;
    for (const char* l : lines) PutText("editdata", "l" + std::to_string(n++), l);
    std::string row = "sumt({0", chain = "1";
    for (int i = 1; i < 1024; ++i) row += "," + std::to_string(i), chain += i % 2 ? "+2" : "*3";
    PutText("editdata", "row", row + "})");
    PutText("editdata", "chain", chain);
    PutText("editdata", "nested", std::string(900, '(') + "1" + std::string(900, ')'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    zun::RegisterSavedClasses();
    const std::string tmp = (fs::temp_directory_path() / "zun_seed").string();
    DocumentSeeds(tmp);
    SliceSeeds(tmp);
    TextSeeds();
    for (const char* ext : {".zun", ".bin", ".txt", ".tif"}) fs::remove(tmp + ext);
    return 0;
}
