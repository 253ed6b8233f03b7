#pragma once
// The document's "Energy Properties" operation without its window: which compositions the sheet
// works with, its caption, and whether it may open at all. Both the document command and the
// tree's channel entry go through it.

#include <string>
#include <vector>

namespace zun {
class ZunImage;
}

namespace EnergyOpt {

inline constexpr const char* kMissingElementData =
    "A channel's composition formula contains the elements without data in the selected attenuation "
    "tables: ";

struct EnergyPropertiesRequest {
    std::vector<std::string> compositions;  // the composition channels, in channel order
    std::string caption;
    // Not empty: the information message shown instead of the sheet.
    std::string refusal;
};

// The sheet would give every composition whose formula holds an element the attenuation method
// has no data for a coefficient of 0, and every optimisation would run on it: such documents are
// refused with the elements listed. The caption is "<document>: Channel '<name>' Energy
// Properties" for exactly one composition channel, else "<document>: Multiple Channel Energy
// Properties".
EnergyPropertiesRequest PrepareEnergyProperties(const zun::ZunImage& sample, int attenuationMethod,
                                                const std::string& documentName);

}  // namespace EnergyOpt
