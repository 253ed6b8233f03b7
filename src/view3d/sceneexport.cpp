#include "view3d/sceneexport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace zun {

SceneExportKind ClassifySceneExport(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return SceneExportKind::Unsupported;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "osgb") return SceneExportKind::BinaryWithImage;
    if (ext == "osg" || ext == "osgt" || ext == "osgx") return SceneExportKind::SceneAndImage;
    if (ext == "dds") return SceneExportKind::ImageOnly;
    return SceneExportKind::Unsupported;
}

std::string SceneImageFileName(const std::string& path) {
    return std::filesystem::path(path).stem().string() + ".dds";
}

std::string SceneImagePath(const std::string& path) {
    return (std::filesystem::path(path).parent_path() / SceneImageFileName(path)).string();
}

}  // namespace zun
