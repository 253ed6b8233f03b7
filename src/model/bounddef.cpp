#include "model/bounddef.h"

#include <cmath>

namespace zun {

bool BoundDef::operator==(const BoundDef& o) const {
    return kind == o.kind && mode == o.mode && rotate == o.rotate && rotation == o.rotation &&
           translate == o.translate && translation == o.translation && channels == o.channels &&
           voidOutside == o.voidOutside && noisePresent == o.noisePresent &&
           thresholdCheckOnly == o.thresholdCheckOnly && smoothing == o.smoothing && strength == o.strength &&
           threshold == o.threshold && cuboidSize == o.cuboidSize && diameter == o.diameter &&
           xyDiameter == o.xyDiameter && zLength == o.zLength && referenceChannel == o.referenceChannel &&
           valueType == o.valueType && lowCombination == o.lowCombination &&
           highCombination == o.highCombination && thresholdText == o.thresholdText &&
           lowRuleText == o.lowRuleText && highRuleText == o.highRuleText && normThreshold == o.normThreshold;
}

std::array<float, 9> BoundaryRotation(const std::vector<float>& degrees) {
    float a[3];
    for (int i = 0; i < 3; ++i)
        a[i] = -(i < static_cast<int>(degrees.size()) ? degrees[i] : 0.0f) * 3.1415927f / 180.0f;
    const float cx = std::cos(a[0]), sx = std::sin(a[0]);
    const float cy = std::cos(a[1]), sy = std::sin(a[1]);
    const float cz = std::cos(a[2]), sz = std::sin(a[2]);
    const float rx[9] = {1, 0, 0, 0, cx, -sx, 0, sx, cx};
    const float ry[9] = {cy, 0, sy, 0, 1, 0, -sy, 0, cy};
    const float rz[9] = {cz, -sz, 0, sz, cz, 0, 0, 0, 1};
    auto mul = [](const float* p, const float* q) {
        std::array<float, 9> r{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r[i * 3 + j] = p[i * 3] * q[j] + p[i * 3 + 1] * q[3 + j] + p[i * 3 + 2] * q[6 + j];
        return r;
    };
    const std::array<float, 9> zy = mul(rz, ry);
    return mul(zy.data(), rx);
}

}  // namespace zun
