#pragma once
// The boundary transform dialog without its window: the parameters being edited and the ones
// last applied, and the Apply that moves the regions of the target boundaries once more. There
// is no "unchanged" check: each Apply moves the regions again by the same amount.

#include <array>
#include <string>
#include <vector>

#include "model/bounddef.h"

namespace zun {

class CZunDoc;
class ProgressSink;

namespace boundmsg {
extern const char kTransforming[];  // "Transforming Boundary Data"
}  // namespace boundmsg

// The dialog's controls as read at Apply (texts as typed).
struct TransformFields {
    bool rotate = false;
    std::array<std::string, 3> angles{"0", "0", "0"};
    bool translate = false;
    std::array<std::string, 3> offsets{"0", "0", "0"};
};
TransformFields FieldsFromParams(const TransBoundParams& params);

class BoundaryTransform {
public:
    // The opening: the current and applied parameters start from the document's.
    BoundaryTransform(CZunDoc& doc, std::vector<std::string> targets);

    const TransBoundParams& Current() const { return current_; }
    const TransBoundParams& Applied() const { return applied_; }
    const std::vector<std::string>& Targets() const { return targets_; }

    // Reads the fields, transforms every target in place and tells the views. 0 done; non-zero
    // when the transform did not complete ("Operation not completed" told, the targets as they
    // were, the document's parameters restored) or a field holds a number that is not finite
    // (its edit's message told, nothing read or changed).
    int Apply(const TransformFields& fields, ProgressSink* progress);

private:
    CZunDoc& doc_;
    std::vector<std::string> targets_;
    TransBoundParams current_;
    TransBoundParams applied_;
};

}  // namespace zun
