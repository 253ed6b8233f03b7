#pragma once
// The two channel-name dialogs: "Rename Channel" for an existing channel and "Channel Properties"
// for one about to be inserted. Their checks, texts and defaults.

#include <optional>
#include <string>

#include "model/channelrules.h"

namespace zun {

class CZunDoc;

namespace namemsg {
inline constexpr const char* kEmpty = chanmsg::kNameEmpty;
inline constexpr const char* kBraces = "Channel name cannot contain {}";
std::string Exists(const std::string& name);  // "Channel name '<name>' already exists"
}  // namespace namemsg

// "Insert " + the kind's word + " Channel" ("Composition", "X-ray CT", "Property", "Bound").
std::string InsertChannelCaption(int kind);
// "Channel Properties" OK: the message refusing the typed name, or nothing.
std::optional<std::string> CheckNewChannelName(const std::string& typed);

// "Rename Channel" over the channel at an index of the document's sample.
class RenameChannelForm {
public:
    RenameChannelForm(const CZunDoc& doc, int index);

    std::string caption;
    const std::string& OldName() const { return old_; }
    // What the edit shows on opening.
    std::string initialText;
    // "Use Default": the document's display name of the channel (empty for compositions and
    // properties).
    std::string DefaultName() const;

    // OK with the edit's text. Accepted: the new name (equal to the old one when nothing is to be
    // done). Refused: the message, and the dialog stays open.
    struct Outcome {
        bool accepted = false;
        std::string name;
        std::string message;
    };
    Outcome Check(const std::string& typed) const;

private:
    const CZunDoc& doc_;
    int index_;
    std::string old_;
};

}  // namespace zun
