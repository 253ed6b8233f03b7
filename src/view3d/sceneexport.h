#pragma once
// How a scene export path is written: the whole scene with its image inside, the scene beside a
// separate volume image, or the volume image alone.

#include <string>

namespace zun {

enum class SceneExportKind {
    BinaryWithImage,  // .osgb: the image stored inside the scene file
    SceneAndImage,    // .osg, .osgt, .osgx: the scene names a .dds written beside it
    ImageOnly,        // .dds
    Unsupported,
};

// By the text after the last "." of the file name, in any letter case.
SceneExportKind ClassifySceneExport(const std::string& path);
// The volume image's file name for a scene path: the file name without extension plus ".dds".
std::string SceneImageFileName(const std::string& path);
// Where that image is written: beside the scene file.
std::string SceneImagePath(const std::string& path);

}  // namespace zun
