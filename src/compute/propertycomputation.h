#pragma once
// The property computation: derives property channels from the composition channels (scalar
// analytic map, scalar extrapolation) or labels linked clusters of a channel, one method record
// after the other in the controller's list.

#include <string>
#include <vector>

#include "compute/propertysettings.h"

namespace zun {

class Archive;
class PropertyDocument;

class CPropertyComputation {
public:
    // The controller's method list, which Apply runs and Serialize stores.
    void SetMethods(std::vector<PropertyMethodSettings>* methods) { methods_ = methods; }
    std::vector<PropertyMethodSettings>* Methods() const { return methods_; }

    // Fills the record's four channel tables (value 1.0 each), its voxel resolution (µm) and its
    // sample dimensions from the document.
    static void ResetSettingsTables(const PropertyDocument& doc, PropertyMethodSettings& rec);

    // Brings the record up to date with the document and checks it. Each finding adds one line to
    // `errors` (lines containing "Error") or `warnings` (either may be null, or both the same
    // string). Returns the number of findings.
    static int CheckSettings(PropertyMethodSettings& rec, const PropertyDocument& doc, std::string* errors,
                             std::string* warnings);

    // Runs the enabled methods. Returns -1 when there is nothing to do, -100 after a stop, else 0,
    // a data error (100 + n) or a data warning (-100 - n); errors win over warnings.
    int Apply(PropertyDocument& doc);

    void Serialize(Archive& ar);

private:
    std::vector<PropertyMethodSettings>* methods_ = nullptr;
};

}  // namespace zun
