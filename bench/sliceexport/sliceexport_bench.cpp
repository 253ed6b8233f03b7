// Slice-image and RGBA text export of an N^3 sample, against this machine's disk write speed
// (measured with dd in the same folder, at the start of the run):
//   - colour export of the XY, YZ and ZX planes with three displayed channels, PNG and TIFF:
//     images per second, pixel compositing time against file writing time;
//   - grey 16-bit export of two channels: MB per second written;
//   - the RGBA text file of an M^3 display volume: MB per second and total time.
// The files go to a scratch folder that is emptied after each case and removed at the end.
//
//   bench_sliceexport [--size N] [--text M] [--out FOLDER] [--threads T]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/sample.h"
#include "tree/displaytree.h"
#include "tree/rgbatext.h"
#include "tree/sliceexport.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::uintmax_t FolderBytes(const fs::path& dir) {
    std::uintmax_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) n += e.file_size();
    return n;
}

void Empty(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
}

// dd's own figure for 1 GiB written and synced to the folder's disk, in MB/s (0 when dd failed).
double DiskWriteSpeed(const fs::path& dir) {
    const fs::path target = dir / "dd.tmp";
    const std::string cmd =
        "dd if=/dev/zero of='" + target.string() + "' bs=1M count=1024 conv=fdatasync 2>&1 | tail -n 1";
    double mbs = 0;
    const auto start = Clock::now();
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
        char line[512] = {};
        if (std::fgets(line, sizeof line, p)) std::printf("  dd: %s", line);
        ::pclose(p);
        mbs = 1024.0 * 1024 * 1024 / 1e6 / Seconds(start);
    }
    fs::remove(target);
    return mbs;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure shows as soon as it is measured
    int n = 512, m = 300, threads = 0;
    fs::path out = fs::temp_directory_path() / ("zun_sliceexport_bench_" + std::to_string(::getpid()));
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size")
            n = std::atoi(argv[++i]);
        else if (a == "--text")
            m = std::atoi(argv[++i]);
        else if (a == "--out")
            out = fs::path(argv[++i]) / ("zun_sliceexport_bench_" + std::to_string(::getpid()));
        else if (a == "--threads")
            threads = std::atoi(argv[++i]);
    }
    if (n < 1 || m < 1) {
        std::fprintf(stderr, "usage: bench_sliceexport [--size N] [--text M] [--out FOLDER] [--threads T]\n");
        return 2;
    }
    fs::create_directories(out);
    std::printf("scratch folder %s\n", out.string().c_str());
    const double disk = DiskWriteSpeed(out);
    std::printf("disk write speed (1 GiB, synced): %.0f MB/s\n\n", disk);

    // The sample: Void and three compositions with ramps along x, y and z, each shown in its own
    // colour with a linear opacity ramp.
    zun::ZunImage sample(true);
    sample.Resize(zun::Dims{n, n, n});
    sample.InsertChan(zun::ZunChan::kComposition, 0, "Void", 0);
    const std::uint32_t colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    for (int c = 0; c < 3; ++c) {
        sample.InsertChan(zun::ZunChan::kComposition, c + 1, "M" + std::to_string(c), colours[c]);
        zun::imtype* w = sample.GetChan(c + 1)->Data();
        const std::size_t count = static_cast<std::size_t>(n) * n * n;
#pragma omp parallel for schedule(static)
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t axis = c == 0 ? i % n : c == 1 ? (i / n) % n : i / (std::size_t(n) * n);
            w[i] = static_cast<zun::imtype>(axis * 16383 / n);
        }
    }
    zun::DisplayTree tree;
    tree.Build(sample, "bench.zun");
    for (int c = 0; c < 4; ++c)
        for (int z = 0; z < n; ++z) {
            zun::DispSpec::Displayed& d = tree.Channel(c)->Child(z)->spec.shown;
            d.displayItems = c == 0 ? 0 : zun::DispSpec::kItemData;
            d.colourKind = 0;
            d.displayColours = {colours[(c + 2) % 3], 0x00FFFF, 0xFF00FF};
            d.opacity = {0.0f, 1.0f, 0.1f, 0.6f};
        }

    zun::SliceExportServices services;
    services.threads = threads;
    const char* planeNames[] = {"XY", "YZ", "ZX"};
    std::printf("colour export, %d^3 sample, 3 displayed channels, %d images per plane\n", n, n);
    std::printf("  %-4s %-5s %9s %9s %10s %10s %9s\n", "plane", "fmt", "images/s", "total s", "compose s",
                "write s", "MB/s");
    for (int format : {zun::kImagePng, zun::kImageTiff})
        for (int plane = 0; plane < 3; ++plane) {
            zun::SliceExportJob job{&tree, &sample, "bench.zun", out.string(), zun::kExportDocument,
                                    plane, format};
            const auto start = Clock::now();
            const zun::SliceExportResult r = zun::ExportSliceImagesColour(job, 0x202020, services);
            const double total = Seconds(start);
            const double mb = FolderBytes(out) / 1e6;
            std::printf("  %-5s %-5s %9.1f %9.2f %10.2f %10.2f %9.0f%s\n", planeNames[plane],
                        format == zun::kImagePng ? "PNG" : "TIFF", r.written.size() / total, total,
                        r.fillSeconds, r.writeSeconds, mb / total, r.failures.Empty() ? "" : "  (failures!)");
            Empty(out);
        }

    std::printf("\ngrey 16-bit TIFF export, 2 channels\n");
    tree.Channel(1)->selected = true;
    tree.Channel(2)->selected = true;
    for (int plane = 0; plane < 3; ++plane) {
        zun::SliceExportJob job{
            &tree, &sample, "bench.zun", out.string(), zun::kExportSelectedChannels, plane, zun::kImageTiff};
        const auto start = Clock::now();
        const zun::SliceExportResult r = zun::ExportSliceImagesData(job, 16, services);
        const double total = Seconds(start);
        const double mb = FolderBytes(out) / 1e6;
        std::printf(
            "  %-3s %5zu files %8.0f MB in %6.2f s: %6.0f MB/s (%.0f %% of dd), scale %.2f s, write %.2f s\n",
            planeNames[plane], r.written.size(), mb, total, mb / total,
            disk > 0 ? 100 * mb / total / disk : 0, r.fillSeconds, r.writeSeconds);
        Empty(out);
    }

    std::printf("\nRGBA text export, %d^3 display volume\n", m);
    const std::size_t texels = static_cast<std::size_t>(m) * m * m;
    std::vector<std::uint32_t> volume(texels);
    for (std::size_t i = 0; i < texels; ++i) volume[i] = static_cast<std::uint32_t>(i * 2654435761u);
    const fs::path text = out / "rgba.txt";
    const auto start = Clock::now();
    const int rc = zun::WriteDisplayRgbaText(text.string(), "bench.zun", volume.data(), m, m, m);
    const double total = Seconds(start);
    const double mb = rc == 0 ? fs::file_size(text) / 1e6 : 0;
    std::printf("  %.0f MB in %.2f s: %.0f MB/s (%.0f %% of dd)%s\n", mb, total, mb / total,
                disk > 0 ? 100 * mb / total / disk : 0, rc == 0 ? "" : "  (failed!)");
    fs::remove_all(out);
    return 0;
}
