#pragma once
// The Data Colour dialog's target over the display dialog's tree items: each change is written to
// the items' subtrees and their ancestors, and "Cancel" puts back the colours every item of those
// subtrees held when the target was made.

#include <functional>
#include <vector>

#include "document/datcolprops.h"
#include "tree/displaystate.h"

namespace zun {

class TreeDatcolTarget : public DatcolTarget {
public:
    // redraw: asks the window's 3-D view to update the given bits.
    TreeDatcolTarget(DisplayTree& tree, TreeItems items, std::function<void(unsigned)> redraw);

    void SetColourKind(std::int32_t kind) override;
    void SetSingleColour(std::uint32_t colour) override;
    void SetBitSpec(const DatcolBitSpec& spec) override;
    void SetValueSpec(const DatcolValueSpec& spec) override;
    void SetSpectrum(const DatcolMultiSpec& spec) override;
    void RestoreColours() override;
    void Redraw() override;
    bool PhysicalRange(float& min, float& max) const override;

private:
    // The items the tree still holds: a remote command may delete channels while the dialog is
    // open, and their items must not be written.
    TreeItems LiveItems();

    struct Colours {
        TreeNode* node;
        std::int32_t kind;
        std::vector<std::uint32_t> displayColours;
        DatcolBitSpec bits;
        DatcolValueSpec values;
        DatcolMultiSpec spectrum;
    };
    DisplayTree& tree_;
    TreeItems items_;
    std::function<void(unsigned)> redraw_;
    std::vector<Colours> before_;
};

}  // namespace zun
