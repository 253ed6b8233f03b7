#include "tools/channelname.h"

#include "document/zundoc.h"
#include "model/channelrules.h"

namespace zun {

std::string namemsg::Exists(const std::string& name) {
    return "Channel name '" + name + "' already exists";
}

std::string InsertChannelCaption(int kind) {
    static const char* const words[] = {"Composition", "X-ray CT", "Property", "Bound"};
    const std::string word = kind >= 0 && kind < 4 ? words[kind] : "";
    return "Insert " + word + " Channel";
}

std::optional<std::string> CheckNewChannelName(const std::string& typed) {
    if (typed.find_first_of("{}") != std::string::npos) return std::string(namemsg::kBraces);
    // An empty name is the document's to decide; anything else must be a name.
    if (!typed.empty())
        if (std::string why = CheckChannelName(typed); !why.empty()) return why;
    return std::nullopt;
}

RenameChannelForm::RenameChannelForm(const CZunDoc& doc, int index) : doc_(doc), index_(index) {
    const ZunImage& s = doc.GetSample();
    if (s.IsChanIndex(index)) old_ = s.GetChan(index)->name;
    caption = "Rename channel '" + old_ + "'";
    initialText = old_;
}

std::string RenameChannelForm::DefaultName() const {
    return doc_.GetChannelDisplayName(index_);
}

RenameChannelForm::Outcome RenameChannelForm::Check(const std::string& typed) const {
    if (typed == old_) return {true, typed, {}};
    const auto first = typed.find_first_not_of(" \t");
    if (first == std::string::npos) return {false, {}, namemsg::kEmpty};
    const std::string name = typed.substr(first, typed.find_last_not_of(" \t") - first + 1);
    if (name.find_first_of("{}") != std::string::npos) return {false, {}, namemsg::kBraces};
    if (std::string why = CheckChannelName(name); !why.empty()) return {false, {}, why};
    if (doc_.GetSample().FindChanIndex(name) >= 0) return {false, {}, namemsg::Exists(name)};
    return {true, name, {}};
}

}  // namespace zun
