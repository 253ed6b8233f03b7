#include "view3d/web3dexport.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "foundation/pathutil.h"
#include "platform/progress.h"
#include "view3d/web3dtexts.h"
#include "view3d/webatlas.h"

namespace zun {

namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

}  // namespace

std::string Web3DBaseName(const std::string& fileName) {
    const std::string ext = GetFileExtension(fileName);
    if (ext.size() == 5 && (ext == "xhtml" || ext == "XHTML")) return GetPathFileTitle(fileName);
    return fileName;
}

std::string BuildWeb3DUsageReport(const std::string& version, int copiedFiles,
                                  const std::string& templateFolder, const std::string& executable,
                                  const std::string& installFolder) {
    // No computer or user name goes into the report.
    std::string t = "%%% ERROR: " + version + ". Copied file: " + std::to_string(copiedFiles) +
                    ". Source: " + templateFolder;
    if (Exists(templateFolder))
        t += " - existed";
    else
        t += std::string(" - Not existed, JS folder") +
             (Exists(fs::path(templateFolder) / "js") ? " - existed" : " - NOT Existed");
    t += ". Executable file: " + executable + (Exists(executable) ? " - existed" : " - NOT Existed");
    t += ". Install directory: " + installFolder + (Exists(installFolder) ? " - existed" : " - NOT Existed");
    t += " @@@";
    return XmlEscape(t);
}

int WriteWeb3DFiles(Web3DOptions& options, const Web3DExportInput& in, std::string& message) {
    // The volume may have been rebuilt while the dialog was open: measure it again.
    {
        Web3DOptions now = options;
        std::string why;
        if (CheckWeb3DExport(now, in.volume != nullptr, in.volumeDims, in.facts, why) != 0) {
            message = why;
            return kWeb3DRefused;
        }
        options.X = now.X;
        options.Y = now.Y;
        options.Z = now.Z;
        options.tilesX = now.tilesX;
        options.tilesY = now.tilesY;
    }
    // The dialog ran these already; a remote command's words reach this point unchecked.
    const std::string refused = CheckWeb3DOptions(options);
    if (!refused.empty()) {
        message = refused;
        return kWeb3DRefused;
    }
    // Without the scene library the page loads and shows nothing: refuse before writing anything.
    const fs::path templateLibrary = fs::path(in.templateFolder) / "js" / "x3dom.js";
    if (!Exists(templateLibrary)) {
        message = web3dmsg::kNoLibrary + templateLibrary.string() + web3dmsg::kNoLibraryHow;
        return kWeb3DRefused;
    }
    const fs::path D = options.folder;
    const fs::path T = D / "Web3D";
    std::error_code ec;
    fs::create_directories(T, ec);
    if (!fs::is_directory(T, ec)) {
        message = web3dmsg::kWriteError + T.string();
        return kWeb3DWriteFailed;
    }

    // Keep the page's script library when the template has none to give.
    const fs::path lib = T / "js" / "x3dom.js", keep = T / "js" / "tmp_x3dom.js";
    bool kept = false;
    if (Exists(lib)) {
        fs::rename(lib, keep, ec);
        kept = !ec;
    }
    int copied = 0;
    const int copyError = CopyDirectoryTree(in.templateFolder, T.string(), &copied);
    if (copyError != 0) {
        if (kept && !Exists(lib)) fs::rename(keep, lib, ec);
        message = web3dmsg::kCopyError + std::to_string(copyError);
        return kWeb3DCopyFailed;
    }
    const bool haveLib = Exists(lib);
    if (!haveLib && kept) fs::rename(keep, lib, ec);
    if (kept) fs::remove(keep, ec);
    int result = kWeb3DSuccess;
    if (!haveLib) {
        if (in.reportMissingLibrary)
            in.reportMissingLibrary(BuildWeb3DUsageReport(in.page.versionText, copied, in.templateFolder,
                                                          in.executable, in.installFolder));
        result = kWeb3DNoLibrary;
    }

    if (in.progress) {
        in.progress->SetText(web3dmsg::kSaving);
        in.progress->SetPos(0);
    }
    const std::string N = Web3DBaseName(options.fileName);
    const std::string W = (T / N).string();

    if (options.thumbnail) {
        const std::string jpg = (D / (N + ".jpg")).string();
        if (!in.writeThumbnail || !in.writeThumbnail(jpg)) message = web3dmsg::kThumbnailError + jpg;
    }

    const std::vector<Web3DLevel> table = ChooseWeb3DLevels(AtlasWidth(options), AtlasHeight(options));
    struct Planned {
        Web3DPageLevel page;
        int p = 1, q = 1;
    };
    std::vector<Planned> planned(table.size());
    long long totalRows = 0;
    for (std::size_t l = 0; l < table.size(); ++l) {
        planned[l].page.level = FitAtlasLevel(options, table[l].targetSize, &planned[l].p, &planned[l].q);
        planned[l].page.label = table[l].label;
        totalRows += AtlasHeight(planned[l].page.level);
    }

    std::vector<Web3DPageLevel> done;
    long long rowsBefore = 0;
    bool cancelled = false;
    for (std::size_t l = 0; l < planned.size() && !cancelled; ++l) {
        const Planned& pl = planned[l];
        const auto progress = [&](int rows) {
            if (!in.progress) return true;
            const int percent = totalRows > 0 ? static_cast<int>((rowsBefore + rows) * 100 / totalRows) : 100;
            return !in.progress->SetProgress(percent);
        };
        const std::vector<std::uint8_t> atlas =
            BuildAtlas(in.volume, in.volumeDims, pl.page.level, pl.p, pl.q, in.threads, progress);
        if (atlas.empty()) {
            cancelled = true;
            break;
        }
        rowsBefore += AtlasHeight(pl.page.level);
        const std::string k = std::to_string(l + 1);
        const std::string png = W + ".pmx", script = W + "_zun" + k + ".js";
        const std::string pngError =
            WriteRgbaPng(png, atlas.data(), AtlasWidth(pl.page.level), AtlasHeight(pl.page.level));
        if (!pngError.empty() || !WriteBase64Script(png, script, "zun" + k, true)) {
            fs::remove(png, ec);
            message = pngError.empty() ? web3dmsg::kWriteError + script : pngError;
            return kWeb3DWriteFailed;
        }
        done.push_back(pl.page);
    }
    if (cancelled) {
        // Scripts of levels from an earlier export under the same name would be listed by nobody.
        for (std::size_t l = done.size(); l < planned.size(); ++l)
            fs::remove(W + "_zun" + std::to_string(l + 1) + ".js", ec);
    }
    if (done.empty()) {
        message = web3dmsg::kCancelled;
        return kWeb3DCancelled;
    }

    const std::string page = W + ".xhtml";
    if (!WriteFileAtomically(page, BuildWeb3DPage(options, N, done, in.page))) {
        message = web3dmsg::kWriteError + page;
        return kWeb3DWriteFailed;
    }
    if (options.serviceScript) {
        const std::string loader = (D / (N + ".html")).string();
        if (!WriteFileAtomically(loader, BuildWeb3DLoaderPage(options.title, N))) {
            message = web3dmsg::kWriteError + loader;
            return kWeb3DWriteFailed;
        }
    }
    if (in.progress) in.progress->SetPos(100);
    if (cancelled) {
        message = web3dmsg::kCancelled;
        return kWeb3DCancelled;
    }
    return result;
}

}  // namespace zun
