#include "view3d/ui/raytrace.h"

#include <osg/Geode>
#include <osg/Material>
#include <osg/Program>
#include <osg/Shader>
#include <osgDB/Registry>

#include <mutex>

namespace zun {

void RenderSettings::SetGrayscaleWeights(float w0, float w1, float w2) {
    if (!grayscale)
        grayscale = new osg::Uniform("grayscale", osg::Vec3(w0, w1, w2));
    else
        grayscale->set(osg::Vec3(w0, w1, w2));
}

void RenderSettings::SetBackgroundUniform(float r, float g, float b) {
    if (!bgColor)
        bgColor = new osg::Uniform("bgColor", osg::Vec3(r, g, b));
    else
        bgColor->set(osg::Vec3(r, g, b));
}

namespace {

const char* const kVertex = R"(#version 110
varying vec4 cameraPos;
varying vec4 vertexPos;
varying vec3 lightDirection;
varying mat4 texgen;
varying vec4 baseColor;

void main(void)
{
    gl_Position = ftransform();
    cameraPos = gl_ModelViewMatrixInverse * vec4(0.0, 0.0, 0.0, 1.0);
    vertexPos = gl_Vertex;
    baseColor = gl_FrontMaterial.diffuse;
    vec4 light = gl_ModelViewMatrixInverse * gl_LightSource[0].position;
    if (light.w == 0.0)
        lightDirection = -normalize(light.xyz);
    else
        lightDirection = normalize((light - gl_Vertex).xyz);
    texgen = mat4(gl_ObjectPlaneS[0], gl_ObjectPlaneT[0], gl_ObjectPlaneR[0], gl_ObjectPlaneQ[0]);
}
)";

const char* const kDeclarations = R"(#version 110
uniform sampler3D baseTexture;
uniform float SampleDensityValue;
uniform float TransparencyValue;
uniform float AlphaFuncValue;
uniform float IsoSurfaceValue;
uniform vec3 bgColor;
uniform vec3 grayscale;
varying vec4 cameraPos;
varying vec4 vertexPos;
varying vec3 lightDirection;
varying mat4 texgen;
varying vec4 baseColor;

const float zero = 0.000001;
const float one = 1.0 - 0.000001;

vec3 alphaGradient(vec3 tc)
{
    float d = 1.0 / 512.0;
    return vec3(texture3D(baseTexture, tc + vec3(d, 0.0, 0.0)).a - texture3D(baseTexture, tc - vec3(d, 0.0, 0.0)).a,
                texture3D(baseTexture, tc + vec3(0.0, d, 0.0)).a - texture3D(baseTexture, tc - vec3(0.0, d, 0.0)).a,
                texture3D(baseTexture, tc + vec3(0.0, 0.0, d)).a - texture3D(baseTexture, tc - vec3(0.0, 0.0, d)).a);
}

void main(void)
{
    vec4 t0 = vertexPos;
    vec4 te = cameraPos;
    t0.xyz = clamp(t0.xyz, vec3(zero), vec3(one));
    // An eye inside the box starts the ray at the eye; otherwise the eye is moved along the ray
    // onto each face it lies beyond.
    if (!(te.x >= LO && te.x <= HI && te.y >= LO && te.y <= HI && te.z >= LO && te.z <= HI)) {
        if (te.x < LO) te = te + (t0 - te) * ((LO - te.x) / (t0.x - te.x));
        if (te.x > HI) te = te + (t0 - te) * ((HI - te.x) / (t0.x - te.x));
        if (te.y < LO) te = te + (t0 - te) * ((LO - te.y) / (t0.y - te.y));
        if (te.y > HI) te = te + (t0 - te) * ((HI - te.y) / (t0.y - te.y));
        if (te.z < LO) te = te + (t0 - te) * ((LO - te.z) / (t0.z - te.z));
        if (te.z > HI) te = te + (t0 - te) * ((HI - te.z) / (t0.z - te.z));
    }
    t0 = t0 * texgen;
    te = te * texgen;
    float count = ceil(length((te - t0).xyz) / SampleDensityValue);
    // Not a number or infinite: the largest count, on every driver.
    if (!(count <= 2048.0)) count = 2048.0;
    if (count < 2.0) count = 2.0;
    int num = int(count);
)";

const char* const kCompositeEnd = R"(
    fragColor.a = min(fragColor.a * TransparencyValue, 1.0);
    fragColor = fragColor * baseColor;
    if (fragColor.a < AlphaFuncValue) discard;
    fragColor.rgb = bgColor * (1.0 - fragColor.a) + fragColor.rgb;
    gl_FragColor = fragColor;
}
)";

// Modes 0 and 1 share the loop; mode 1 shades each sample by the alpha gradient first.
std::string CompositeLoop(bool lit) {
    std::string s = R"(
    vec3 deltaTexCoord = (te - t0).xyz / float(num - 1);
    vec3 texcoord = t0.xyz;
    vec4 fragColor = vec4(0.0, 0.0, 0.0, 0.0);
    while (num > 0) {
        vec4 color = texture3D(baseTexture, texcoord);
)";
    if (lit)
        s += R"(
        vec3 grad = alphaGradient(texcoord);
        if (grad.x != 0.0 || grad.y != 0.0 || grad.z != 0.0) {
            float light = 0.1 + 0.9 * max(0.0, dot(normalize(grad), lightDirection));
            color.rgb = color.rgb * light;
        }
)";
    s += R"(
        float r = color.a * TransparencyValue;
        if (r > AlphaFuncValue) {
            fragColor.rgb = fragColor.rgb * (1.0 - r) + color.rgb * r;
            fragColor.a = fragColor.a + (1.0 - fragColor.a) * r;
        }
        if (fragColor.a < color.a) fragColor = color;
        texcoord += deltaTexCoord;
        --num;
    }
)";
    return s;
}

const char* const kMipLoop = R"(
    vec3 deltaTexCoord = (te - t0).xyz / float(num - 1);
    vec3 texcoord = t0.xyz;
    vec4 fragColor = vec4(0.0, 0.0, 0.0, 0.0);
    while (num > 0) {
        vec4 color = texture3D(baseTexture, texcoord);
        if (fragColor.a < color.a) fragColor = color;
        texcoord += deltaTexCoord;
        --num;
    }
)";

const char* const kGrayLoop = R"(
    vec3 deltaTexCoord = (te - t0).xyz / float(num - 1);
    vec3 texcoord = t0.xyz;
    vec4 fragColor = vec4(0.0, 0.0, 0.0, 0.0);
    while (num > 0) {
        vec4 color = texture3D(baseTexture, texcoord);
        float r = color.a * TransparencyValue;
        float grey = dot(color.rgb, grayscale);
        fragColor.rgb = fragColor.rgb * (1.0 - r) + vec3(grey, grey, grey) * r;
        fragColor.a = fragColor.a + (1.0 - fragColor.a) * r;
        if (fragColor.a < color.a) fragColor = color;
        texcoord += deltaTexCoord;
        --num;
    }
)";

const char* const kIsoLoop = R"(
    vec3 deltaTexCoord = (t0 - te).xyz / float(num - 1);
    vec3 texcoord = te.xyz;
    vec4 previous = texture3D(baseTexture, texcoord);
    while (num > 0) {
        vec4 color = texture3D(baseTexture, texcoord);
        if ((previous.a - IsoSurfaceValue) * (color.a - IsoSurfaceValue) <= 0.0) {
            float r = previous.a != color.a ? (IsoSurfaceValue - color.a) / (previous.a - color.a) : 0.0;
            texcoord = texcoord - r * deltaTexCoord;
            vec3 grad = alphaGradient(texcoord);
            if (grad.x != 0.0 || grad.y != 0.0 || grad.z != 0.0) {
                float light = 0.1 + 0.9 * max(0.0, dot(normalize(grad), lightDirection));
                color.rgb = vec3(light, light, light);
            }
            color.a = 1.0;
            color = color * baseColor;
            color.rgb = bgColor * (1.0 - color.a) + color.rgb;
            gl_FragColor = color;
            return;
        }
        previous = color;
        texcoord += deltaTexCoord;
        --num;
    }
    discard;
}
)";

std::string Fragment(int mode) {
    // Mode 4 keeps the ray a hair inside the box on every face.
    const std::string bounds =
        mode == 4 ? "#define LO zero\n#define HI one\n" : "#define LO 0.0\n#define HI 1.0\n";
    std::string decl = kDeclarations;
    decl.insert(decl.find('\n') + 1, bounds);
    switch (mode) {
        case 1:
            return decl + CompositeLoop(true) + kCompositeEnd;
        case 2:
            return decl + kMipLoop + kCompositeEnd;
        case 3:
            return decl + kIsoLoop;
        case 4:
            return decl + kGrayLoop + kCompositeEnd;
        default:
            return decl + CompositeLoop(false) + kCompositeEnd;
    }
}

}  // namespace

const std::string& VolumeVertexShader() {
    static const std::string s = kVertex;
    return s;
}

const std::string& VolumeFragmentShader(int renderMode) {
    static const std::string shaders[5] = {Fragment(0), Fragment(1), Fragment(2), Fragment(3), Fragment(4)};
    return shaders[renderMode >= 0 && renderMode <= 4 ? renderMode : 0];
}

namespace {

// The scene library's technique first looks for its shaders as files under "shaders/" and says
// so on the error stream when they are missing, at every rebuild. Ours are built in: the names it
// asks for are answered from memory (the program is replaced by ours right after anyway).
class BuiltInVolumeShaders : public osgDB::Registry::ReadFileCallback {
public:
    explicit BuiltInVolumeShaders(osgDB::Registry::ReadFileCallback* next) : next_(next) {}
    osgDB::ReaderWriter::ReadResult readShader(const std::string& file,
                                               const osgDB::Options* options) override {
        if (file.rfind("shaders/volume", 0) == 0) {
            const bool vertex = file.size() > 5 && file.compare(file.size() - 5, 5, ".vert") == 0;
            return new osg::Shader(vertex ? osg::Shader::VERTEX : osg::Shader::FRAGMENT,
                                   vertex ? VolumeVertexShader() : VolumeFragmentShader(0));
        }
        return next_ ? next_->readShader(file, options) : ReadFileCallback::readShader(file, options);
    }

private:
    osg::ref_ptr<osgDB::Registry::ReadFileCallback> next_;
};

}  // namespace

void InstallBuiltInVolumeShaders() {
    static std::once_flag once;
    std::call_once(once, [] {
        osgDB::Registry* r = osgDB::Registry::instance();
        r->setReadFileCallback(new BuiltInVolumeShaders(r->getReadFileCallback()));
    });
}

CustomRayTracedTechnique::CustomRayTracedTechnique(RenderSettings* settings) : settings_(settings) {}

void CustomRayTracedTechnique::init() {
    if (initialised_) return;
    initialised_ = true;
    InstallBuiltInVolumeShaders();
    osgVolume::RayTracedTechnique::init();
    if (!_transform.valid() || _transform->getNumChildren() == 0) return;
    osg::StateSet* ss = _transform->getChild(0)->getOrCreateStateSet();
    const int mode = settings_ ? settings_->renderMode : 0;
    if (settings_) {
        if (mode == 4 && !settings_->grayscale) settings_->SetGrayscaleWeights(0.299f, 0.587f, 0.114f);
        if (mode == 4) ss->addUniform(settings_->grayscale.get(), osg::StateAttribute::ON);
        if (!settings_->bgColor) settings_->SetBackgroundUniform(0, 0, 0);
        ss->addUniform(settings_->bgColor.get(), osg::StateAttribute::ON);
    }
    // The shaders multiply by the material's diffuse colour: white keeps the texel colours.
    if (!ss->getAttribute(osg::StateAttribute::MATERIAL)) {
        osg::ref_ptr<osg::Material> m = new osg::Material;
        m->setDiffuse(osg::Material::FRONT_AND_BACK, osg::Vec4(1, 1, 1, 1));
        ss->setAttribute(m.get());
    }
    osg::ref_ptr<osg::Program> program = new osg::Program;
    program->addShader(new osg::Shader(osg::Shader::VERTEX, VolumeVertexShader()));
    program->addShader(new osg::Shader(osg::Shader::FRAGMENT, VolumeFragmentShader(mode)));
    ss->setAttribute(program.get(), osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
}

void CustomRayTracedTechnique::releaseGLObjects(osg::State* state) const {
    if (_transform.valid()) _transform->releaseGLObjects(state);
    if (_whenMovingStateSet.valid()) _whenMovingStateSet->releaseGLObjects(state);
}

void CustomRayTracedTechnique::resizeGLObjectBuffers(unsigned maxSize) {
    if (_transform.valid()) _transform->resizeGLObjectBuffers(maxSize);
    if (_whenMovingStateSet.valid()) _whenMovingStateSet->resizeGLObjectBuffers(maxSize);
}

void ReleasableVolumeTile::releaseGLObjects(osg::State* state) const {
    osgVolume::VolumeTile::releaseGLObjects(state);
    if (getVolumeTechnique()) getVolumeTechnique()->releaseGLObjects(state);
}

}  // namespace zun
