#include "plot/channelinfo.h"

#include "document/zundoc.h"
#include "model/importinfo.h"
#include "model/sample.h"
#include "plot/tabletext.h"

namespace zun {

ChannelInfoModel::ChannelInfoModel(const CZunDoc& doc, int channel) : doc_(doc), channel_(channel) {
    title = doc_.GetTitle() + ": Channel '" + ChannelName() + "' Information";
}

std::string ChannelInfoModel::ChannelName() const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(channel_) ? s.GetChan(channel_)->name : std::string();
}

std::string ChannelInfoModel::WithoutMarkers(const std::string& sectioned) {
    const std::string marker = LogText::kMarker;
    std::string out;
    out.reserve(sectioned.size());
    std::size_t from = 0;
    for (std::size_t at; (at = sectioned.find(marker, from)) != std::string::npos; from = at + marker.size())
        out.append(sectioned, from, at - from);
    out.append(sectioned, from, std::string::npos);
    return out;
}

std::string ChannelInfoModel::FirstSection(const std::string& sectioned) {
    return sectioned.substr(0, sectioned.find(LogText::kMarker));
}

std::string ChannelInfoModel::DisplayText() const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(channel_) ? WithoutMarkers(s.GetChan(channel_)->note) : std::string();
}

std::string ChannelInfoModel::ExportText() const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(channel_) ? FirstSection(s.GetChan(channel_)->note) : std::string();
}

std::string ChannelInfoModel::DefaultFileName() const {
    const std::string& name = doc_.GetNameText().empty() ? doc_.GetTitle() : doc_.GetNameText();
    return name + "-" + ChannelName();
}

bool ChannelInfoModel::Export(const std::string& path, std::string* error) const {
    std::string ignored;
    if (SaveTextFile(path, ExportText(), &ignored)) return true;
    if (error) *error = "Could not open " + path + " for writing channel information";
    return false;
}

bool ChannelInfoModel::RenameChannel(const std::string& oldName, const std::string& newName) {
    const std::string quoted = "'" + oldName + "'";
    const std::size_t at = title.find(quoted);
    if (at == std::string::npos) return false;
    title.replace(at, quoted.size(), "'" + newName + "'");
    return true;
}

}  // namespace zun
