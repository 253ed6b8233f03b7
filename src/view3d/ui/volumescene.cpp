#include "view3d/ui/volumescene.h"

#include <osg/AutoTransform>
#include <osg/BlendFunc>
#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osgDB/Options>
#include <osgDB/WriteFile>
#include <osgVolume/Locator>
#include <osgVolume/Property>
#include <osgVolume/VolumeTile>

#include <cmath>

#include "view3d/sceneexport.h"
#include "view3d/viewmessages.h"

namespace zun {

namespace {

osg::ref_ptr<osg::Geometry> Lines(const std::vector<osg::Vec3>& points, const osg::Vec4& colour) {
    osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array(points.begin(), points.end());
    g->setVertexArray(v.get());
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    c->push_back(colour);
    g->setColorArray(c.get(), osg::Array::BIND_OVERALL);
    g->addPrimitiveSet(new osg::DrawArrays(GL_LINES, 0, static_cast<GLsizei>(points.size())));
    return g;
}

// Stroke letters one unit high, centred on the origin.
std::vector<osg::Vec3> LetterStrokes(char letter) {
    const float h = 0.5f, w = 0.35f;
    switch (letter) {
        case 'X':
            return {{-w, -h, 0}, {w, h, 0}, {-w, h, 0}, {w, -h, 0}};
        case 'Y':
            return {{-w, h, 0}, {0, 0, 0}, {w, h, 0}, {0, 0, 0}, {0, 0, 0}, {0, -h, 0}};
        default:
            return {{-w, h, 0}, {w, h, 0}, {w, h, 0}, {-w, -h, 0}, {-w, -h, 0}, {w, -h, 0}};
    }
}

osg::ref_ptr<osg::Node> BuildAxes(float length) {
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(Lines({{0, 0, 0}, {length, 0, 0}}, {0.5f, 0.125f, 0.125f, 1}).get());
    geode->addDrawable(Lines({{0, 0, 0}, {0, length, 0}}, {0.125f, 0.5f, 0.125f, 1}).get());
    geode->addDrawable(Lines({{0, 0, 0}, {0, 0, length}}, {0.125f, 0.125f, 0.5f, 1}).get());
    osg::StateSet* ss = geode->getOrCreateStateSet();
    ss->setAttributeAndModes(new osg::LineWidth(2));
    ss->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    return geode;
}

osg::ref_ptr<osg::Node> BuildAxisLabels(float length) {
    osg::ref_ptr<osg::Group> group = new osg::Group;
    const char letters[3] = {'X', 'Y', 'Z'};
    const osg::Vec3 dirs[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        osg::ref_ptr<osg::AutoTransform> at = new osg::AutoTransform;
        at->setAutoRotateMode(osg::AutoTransform::ROTATE_TO_SCREEN);
        at->setPosition(dirs[i] * (1.05f * length));
        at->setScale(8.0);
        osg::ref_ptr<osg::Geode> g = new osg::Geode;
        g->addDrawable(Lines(LetterStrokes(letters[i]), {204, 204, 0, 1}).get());
        at->addChild(g.get());
        group->addChild(at.get());
    }
    osg::StateSet* ss = group->getOrCreateStateSet();
    ss->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    ss->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);
    ss->setAttributeAndModes(new osg::LineWidth(1.5f));
    return group;
}

}  // namespace

VolumeScene::VolumeScene(ViewSettings& settings, RenderSettings& render)
    : settings_(settings), render_(render) {
    empty_ = new osg::Group;
    empty_->addChild(new osg::Node);
    BuildHud();
}

osg::Node* VolumeScene::SceneData() const {
    return volume_.valid() ? static_cast<osg::Node*>(volume_.get()) : empty_.get();
}

osgVolume::ImageLayer* VolumeScene::GetVolumeLayer() const {
    if (!volume_.valid() || volume_->getNumChildren() == 0) return nullptr;
    auto* tile = dynamic_cast<osgVolume::VolumeTile*>(volume_->getChild(0));
    return tile ? dynamic_cast<osgVolume::ImageLayer*>(tile->getLayer()) : nullptr;
}

osg::Image* VolumeScene::VolumeImage() const {
    osgVolume::ImageLayer* layer = GetVolumeLayer();
    return layer ? layer->getImage() : nullptr;
}

void VolumeScene::BuildHud() {
    hud_ = new osg::Camera;
    hud_->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    hud_->setViewMatrix(osg::Matrix::identity());
    hud_->setClearMask(GL_DEPTH_BUFFER_BIT);
    hud_->setRenderOrder(osg::Camera::POST_RENDER, 0);
    hud_->setAllowEventFocus(false);
    hud_->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    hud_->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                         osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    hud_->setProjectionMatrixAsOrtho(0, 640, 0, 480, -100, 100);
    triad_ = new osg::PositionAttitudeTransform;
    triad_->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    triad_->addChild(BuildAxes(40).get());
    triad_->addChild(BuildAxisLabels(40).get());
    triad_->setPosition(osg::Vec3(590, 50, 0));
    hud_->addChild(triad_.get());
}

void VolumeScene::UpdateHudLayout(int width, int height) {
    if (!settings_.axesShown || width <= 0 || height <= 0) return;
    // A depth range past the triad's length: a flat one would cut the turned axes short.
    hud_->setProjectionMatrixAsOrtho(0, width, 0, height, -100, 100);
    triad_->setPosition(osg::Vec3(static_cast<float>(width - 50), 50, 0));
}

bool VolumeScene::SetAxesVisible(bool show) {
    if (hud_->getNumChildren() != 1) return false;
    hud_->getChild(0)->setNodeMask(show ? ~0u : 0u);
    return true;
}

osg::ref_ptr<osg::Geode> VolumeScene::BuildBoundingBox(double ex, double ey, double ez) {
    const float x = static_cast<float>(ex / 2), y = static_cast<float>(ey / 2),
                z = static_cast<float>(ez / 2);
    const osg::Vec3 c[8] = {{-x, -y, -z}, {x, -y, -z}, {x, y, -z}, {-x, y, -z},
                            {-x, -y, z},  {x, -y, z},  {x, y, z},  {-x, y, z}};
    const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                              {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    std::vector<osg::Vec3> pts;
    for (const auto& e : edges) {
        pts.push_back(c[e[0]]);
        pts.push_back(c[e[1]]);
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(Lines(pts, {0.4f, 0.4f, 0.4f, 1}).get());
    osg::StateSet* ss = geode->getOrCreateStateSet();
    ss->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    ss->setMode(GL_BLEND, osg::StateAttribute::ON);
    ss->setRenderingHint(osg::StateSet::OPAQUE_BIN);
    return geode;
}

double VolumeScene::Build(disptype* voxels, const Dims& dims, const std::array<double, 3>& voxelSize,
                          bool& creating) {
    creating = false;
    const int nx = dims[0], ny = dims[1], nz = dims[2];
    const auto ext = VolumeBoxExtents(dims, voxelSize);

    osg::ref_ptr<ReleasableVolumeTile> tile = new ReleasableVolumeTile;
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->setImage(nx, ny, nz, GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, reinterpret_cast<unsigned char*>(voxels),
                    osg::Image::NO_DELETE, 1);
    osg::ref_ptr<osgVolume::ImageLayer> layer = new osgVolume::ImageLayer(image.get());
    tile->setLayer(layer.get());
    tile->setVolumeTechnique(new CustomRayTracedTechnique(&render_));

    osg::ref_ptr<osgVolume::Locator> locator = new osgVolume::Locator;
    locator->setTransformAsExtents(-ext[0] / 2, -ext[1] / 2, ext[0] / 2, ext[1] / 2, -ext[2] / 2, ext[2] / 2);
    layer->setLocator(locator.get());
    tile->setLocator(locator.get());

    osg::ref_ptr<osgVolume::CompositeProperty> cp = new osgVolume::CompositeProperty;
    cp->addProperty(new osgVolume::AlphaFuncProperty(settings_.alphaFunction));
    cp->addProperty(new osgVolume::TransparencyProperty(settings_.transparency));
    cp->addProperty(new osgVolume::SampleDensityProperty(settings_.sampleDensity));
    switch (render_.renderMode) {
        case 1:
            cp->addProperty(new osgVolume::LightingProperty);
            break;
        case 2:
            cp->addProperty(new osgVolume::MaximumIntensityProjectionProperty);
            break;
        case 3:
            cp->addProperty(new osgVolume::IsoSurfaceProperty(settings_.isoValue));
            break;
        default:
            break;
    }
    layer->addProperty(cp.get());

    if (!volume_.valid()) {
        volume_ = new osgVolume::Volume;
        creating = true;
    } else {
        while (volume_->getNumChildren() > 0) volume_->removeChild(volume_->getNumChildren() - 1, 1);
    }
    volume_->addChild(tile.get());
    volume_->addChild(BuildBoundingBox(ext[0], ext[1], ext[2]).get());
    volume_->dirtyBound();
    ApplyBoundingBox();
    return volume_->getBound().radius();
}

void VolumeScene::Clear() {
    if (!volume_.valid()) return;
    while (volume_->getNumChildren() > 0) volume_->removeChild(volume_->getNumChildren() - 1, 1);
    volume_->dirtyBound();
}

void VolumeScene::MarkDirty() {
    if (osgVolume::ImageLayer* layer = GetVolumeLayer()) {
        if (layer->getImage()) layer->getImage()->dirty();
        layer->dirty();
    }
}

bool VolumeScene::SetVolumeProperty(int index, float value) {
    osgVolume::ImageLayer* layer = GetVolumeLayer();
    if (!layer) return false;
    auto* cp = dynamic_cast<osgVolume::CompositeProperty*>(layer->getProperty());
    if (!cp || index < 0 || static_cast<unsigned>(index) >= cp->getNumProperties()) return false;
    auto* sp = dynamic_cast<osgVolume::ScalarProperty*>(cp->getProperty(index));
    if (!sp || sp->getValue() == value) return false;
    sp->setValue(value);
    return true;
}

void VolumeScene::ApplyBoundingBox() {
    if (!volume_.valid() || volume_->getNumChildren() != 2) return;
    osg::Node* box = volume_->getChild(1);
    if (settings_.boundingBoxFlags & kBoxShown) {
        box->setNodeMask(~0u);
        box->getOrCreateStateSet()->setRenderingHint((settings_.boundingBoxFlags & kBoxTransparentBin)
                                                         ? osg::StateSet::TRANSPARENT_BIN
                                                         : osg::StateSet::OPAQUE_BIN);
    } else {
        box->setNodeMask(0);
    }
}

int VolumeScene::ExportOsg(const std::string& path, std::vector<std::string>& errors) {
    osg::Image* image = VolumeImage();
    if (!image) {
        errors.push_back(viewmsg::kNoVolumetricImage);
        return 1;
    }
    bool ok = true;
    switch (ClassifySceneExport(path)) {
        case SceneExportKind::BinaryWithImage: {
            osg::ref_ptr<osgDB::Options> opt = new osgDB::Options("WriteImageHint=IncludeData");
            ok = osgDB::writeNodeFile(*SceneData(), path, opt.get());
            break;
        }
        case SceneExportKind::SceneAndImage: {
            image->setFileName(SceneImageFileName(path));
            osg::ref_ptr<osgDB::Options> opt = new osgDB::Options("ddsNoAutoFlipWrite");
            ok = osgDB::writeImageFile(*image, SceneImagePath(path), opt.get()) &&
                 osgDB::writeNodeFile(*SceneData(), path);
            break;
        }
        case SceneExportKind::ImageOnly:
            image->setFileName(SceneImageFileName(path));
            ok = osgDB::writeImageFile(*image, SceneImagePath(path));
            break;
        case SceneExportKind::Unsupported:
            errors.push_back(std::string(viewmsg::kUnsupportedOutput) + path);
            return 1;
    }
    if (!ok) {
        errors.push_back(path);
        return 1;
    }
    return 0;
}

}  // namespace zun
