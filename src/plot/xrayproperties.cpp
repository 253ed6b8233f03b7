#include "plot/xrayproperties.h"

#include "document/zundoc.h"

namespace zun {

XrayPropertiesModel XrayPropertiesModel::FromDocument(const CZunDoc& doc) {
    XrayPropertiesModel m;
    m.title = doc.GetTitle() + " X-ray Properties";
    m.method = doc.Settings().attenuationMethod;
    m.kind = doc.Settings().coefficientKind;
    return m;
}

void XrayPropertiesModel::ApplyToDocument(CZunDoc& doc) const {
    DocSettings& s = doc.Settings();
    if (s.attenuationMethod == method && s.coefficientKind == kind) return;
    s.attenuationMethod = method;
    s.coefficientKind = kind;
    // Both are stored in the document file: a change not flagged would be lost on closing.
    doc.SetModifiedFlag(true);
}

std::int32_t XrayPropertiesModel::MethodFromButtons(bool extended, bool tlac, bool nist) {
    if (extended) return 3;
    if (tlac) return 1;
    if (nist) return 2;
    return 0;
}

}  // namespace zun
