#pragma once
// What the "X-ray Properties" dialog decides: which attenuation tables and which coefficient a
// document's attenuation lookups use, and how its radio buttons map to them.

#include <cstdint>
#include <string>

namespace zun {

class CZunDoc;

struct XrayPropertiesModel {
    std::string title = "Xray Properties";
    std::int32_t method = 1;  // 0 mucal, 1 TLAC/TRC, 2 NIST, 3 Extended
    std::int32_t kind = 0;    // 0 total, 1 photoelectric

    // The document's choices, under the document's title.
    static XrayPropertiesModel FromDocument(const CZunDoc& doc);
    // OK: the choices into the document, which is marked modified when they changed.
    void ApplyToDocument(CZunDoc& doc) const;

    // The buttons read at OK: Extended wins, then TLAC/TRC, then NIST, else mucal; kind total
    // only when its button is selected.
    static std::int32_t MethodFromButtons(bool extended, bool tlac, bool nist);
    static std::int32_t KindFromButtons(bool total) { return total ? 0 : 1; }
};

}  // namespace zun
