#pragma once
// What the "Channel Information" window shows and exports of a channel's sectioned information
// text, and how its title follows a rename.

#include <string>

namespace zun {

class CZunDoc;

class ChannelInfoModel {
public:
    ChannelInfoModel(const CZunDoc& doc, int channel);

    // "<document title>: Channel '<name>' Information".
    std::string title;

    // The whole text with every section marker removed (empty for an index outside the list).
    std::string DisplayText() const;
    // What "Export..." writes: the text up to the first marker (the whole text without one).
    std::string ExportText() const;
    static std::string WithoutMarkers(const std::string& sectioned);
    static std::string FirstSection(const std::string& sectioned);

    std::string ChannelName() const;
    std::string ExportCaption() const { return "Export information for '" + ChannelName() + "'"; }
    // document name + "-" + channel name
    std::string DefaultFileName() const;
    // Writes the export text (atomically); false with "Could not open <path> for writing channel
    // information" in error.
    bool Export(const std::string& path, std::string* error) const;

    // A channel rename: the quoted old name in the title becomes the quoted new one. True when
    // the title changed.
    bool RenameChannel(const std::string& oldName, const std::string& newName);

private:
    const CZunDoc& doc_;
    int channel_;
};

}  // namespace zun
