#pragma once
// The scene graph around the display volume: the volume node with its tile (image layer,
// locator, ray-cast technique, composite property) and bounding box, the HUD axes triad, and
// the scene export.

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Group>
#include <osg/PositionAttitudeTransform>
#include <osgVolume/Layer>
#include <osgVolume/Volume>

#include <array>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"
#include "view3d/ui/raytrace.h"
#include "view3d/viewsettings.h"

namespace zun {

class VolumeScene {
public:
    VolumeScene(ViewSettings& settings, RenderSettings& render);

    // The viewer's scene data: an empty group until the first build, then the volume node.
    osg::Node* SceneData() const;
    osgVolume::Volume* VolumeNode() const { return volume_.get(); }
    osgVolume::ImageLayer* GetVolumeLayer() const;
    osg::Image* VolumeImage() const;

    // Builds the tile over the packed RGBA voxels (not copied: they must outlive the scene or
    // the next build). Returns the bounding radius of the volume node. creating is set when the
    // volume node was made by this call.
    double Build(disptype* voxels, const Dims& dims, const std::array<double, 3>& voxelSize, bool& creating);
    // Drops the tile and the box: the scene then holds no image over voxels that a resize of the
    // display volume frees, and draws nothing.
    void Clear();
    // The texture is uploaded again at the next frame.
    void MarkDirty();
    // Entry index of the composite property: 0 alpha function, 1 transparency, 2 sample density,
    // 3 iso value (render mode 3). False when missing or already equal.
    bool SetVolumeProperty(int index, float value);
    // Shows or hides the box and puts it in the transparent or opaque bin.
    void ApplyBoundingBox();

    // The HUD camera with the axes triad (40 units long, lower right corner).
    osg::Camera* Hud() const { return hud_.get(); }
    osg::PositionAttitudeTransform* Triad() const { return triad_.get(); }
    void UpdateHudLayout(int width, int height);
    bool SetAxesVisible(bool show);

    // Writes the scene (or its volume image alone) by the path's extension; 0 written, 1 failed
    // with the texts appended to errors.
    int ExportOsg(const std::string& path, std::vector<std::string>& errors);

private:
    osg::ref_ptr<osg::Geode> BuildBoundingBox(double ex, double ey, double ez);
    void BuildHud();

    ViewSettings& settings_;
    RenderSettings& render_;
    osg::ref_ptr<osg::Group> empty_;
    osg::ref_ptr<osgVolume::Volume> volume_;
    osg::ref_ptr<osg::Camera> hud_;
    osg::ref_ptr<osg::PositionAttitudeTransform> triad_;
};

}  // namespace zun
