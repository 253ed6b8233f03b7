#pragma once
// The property computation: derives property channels from the composition channels (scalar
// analytic map, scalar extrapolation) or labels linked clusters of a channel, one method record
// after the other in its ordered list.

#include <string>
#include <vector>

#include "compute/computedocument.h"
#include "compute/propertysettings.h"

namespace zun {

class Archive;
class PropertyDocument;

class CPropertyComputation final : public PropertyComputationEngine {
public:
    explicit CPropertyComputation(PropertyDocument* document = nullptr) : doc_(document) {}
    void SetDocument(PropertyDocument* document) { doc_ = document; }

    // The method list that Apply runs and Serialize stores (edited by the set-up dialog and the
    // remote commands on the UI thread, never while a computation runs).
    std::vector<PropertyMethodSettings>& Methods() { return methods_; }
    const std::vector<PropertyMethodSettings>& Methods() const { return methods_; }

    // Fills the record's four channel tables (value 1.0 each), its voxel resolution (µm) and its
    // sample dimensions from the document.
    static void ResetSettingsTables(const PropertyDocument& doc, PropertyMethodSettings& rec);

    // Brings the record up to date with the document and checks it. Each finding adds one line to
    // `errors` (lines containing "Error") or `warnings` (either may be null, or both the same
    // string). Returns the number of findings.
    static int CheckSettings(PropertyMethodSettings& rec, const PropertyDocument& doc, std::string* errors,
                             std::string* warnings);

    // Checks a copy of every record against the document (0 findings without a document); the
    // copy replaces the list on AcceptCheckedSettings.
    int MethodCount() const override { return static_cast<int>(methods_.size()); }
    int CheckSettings(std::string& errors, std::string& warnings) override;
    void AcceptCheckedSettings() override;

    // Runs the enabled methods. Returns -1 when there is nothing to do (or no document), -100
    // after a stop, else 0, a data error (100 + n) or a data warning (-100 - n); errors win over
    // warnings.
    int Apply() override { return doc_ ? Apply(*doc_) : -1; }
    int Apply(PropertyDocument& doc);

    void Serialize(Archive& ar) override;

private:
    PropertyDocument* doc_ = nullptr;
    std::vector<PropertyMethodSettings> methods_;
    std::vector<PropertyMethodSettings> checked_;
    bool haveChecked_ = false;
};

}  // namespace zun
