#pragma once
// The ray-cast technique of the volume tile: the scene library's technique keeps its box
// geometry, 3-D texture and property uniforms; the shader program is ours, one of five by render
// mode.

#include <osg/Uniform>
#include <osgVolume/RayTracedTechnique>
#include <osgVolume/VolumeTile>

#include <string>

namespace zun {

// The render mode and the shader uniforms a view shares with every technique it creates.
struct RenderSettings {
    int renderMode = 0;
    osg::ref_ptr<osg::Uniform> grayscale;  // vec3, created on first use
    osg::ref_ptr<osg::Uniform> bgColor;    // vec3, created on first use

    void SetGrayscaleWeights(float w0, float w1, float w2);
    void SetBackgroundUniform(float r, float g, float b);
};

// The shader texts (GLSL 1.10).
const std::string& VolumeVertexShader();
const std::string& VolumeFragmentShader(int renderMode);
// Lets the scene library's shader file look-ups find the built-in texts (once per process).
void InstallBuiltInVolumeShaders();

class CustomRayTracedTechnique : public osgVolume::RayTracedTechnique {
public:
    explicit CustomRayTracedTechnique(RenderSettings* settings);

    void init() override;
    // The program and textures live in a private subgraph no visitor reaches; without this a
    // closed view leaves stale objects that the next view with the same context id would use.
    void releaseGLObjects(osg::State* state = nullptr) const override;
    void resizeGLObjectBuffers(unsigned maxSize) override;

protected:
    ~CustomRayTracedTechnique() override = default;

private:
    RenderSettings* settings_;
    bool initialised_ = false;
};

// A tile that hands releaseGLObjects on to its technique.
class ReleasableVolumeTile : public osgVolume::VolumeTile {
public:
    void releaseGLObjects(osg::State* state = nullptr) const override;

protected:
    ~ReleasableVolumeTile() override = default;
};

}  // namespace zun
