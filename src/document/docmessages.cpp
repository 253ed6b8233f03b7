#include "document/docmessages.h"

#include <algorithm>

#include "platform/prompt.h"

namespace zun {

std::string docmsg::ChannelExists(const std::string& name) {
    return "Channel \"" + name + "\" already exists";
}

std::string docmsg::ChannelNameExists(const std::string& name) {
    return "Channel name '" + name + "' already exists";
}

std::string docmsg::NoSuchChannel(const std::string& name) {
    return "Channel \"" + name + "\" does not exist.";
}

std::string docmsg::NoRoomForDocument(std::size_t open) {
    if (open < kMaxOpenDocuments) return {};
    return "Too many open documents (" + std::to_string(kMaxOpenDocuments) + "); close one first.";
}

std::string docmsg::InsufficientMemory(const std::string& activity) {
    return "Insufficient memory" + (activity.empty() ? std::string() : " while " + activity) + ".";
}

void ShowInsufficientMemoryError(Prompt* prompt, const std::string& activity) {
    if (prompt) prompt->Tell(docmsg::InsufficientMemory(activity), PromptIcon::Error);
}

namespace {

std::string JoinListed(const std::vector<std::string>& names, std::size_t count,
                       const std::string& separator) {
    const std::size_t listed = std::min(names.size(), kListedNames);
    std::string text;
    for (std::size_t i = 0; i < listed; ++i) text += (i ? separator : std::string()) + names[i];
    if (count > listed) text += " ... and " + std::to_string(count - listed) + " more";
    return text;
}

}  // namespace

std::string ListFirstNames(const std::vector<std::string>& names, const std::string& separator) {
    return JoinListed(names, names.size(), separator);
}

FileFailures::FileFailures(std::initializer_list<std::string> names) {
    for (const std::string& name : names) Add(name);
}

FileFailures::FileFailures(const std::vector<std::string>& names) {
    for (const std::string& name : names) Add(name);
}

void FileFailures::Add(const std::string& name) {
    if (listed_.size() < kListedNames) listed_.push_back(name);
    ++count_;
}

std::string FileFailuresText(const FileFailures& failures, std::size_t total, const std::string& verb) {
    if (failures.Empty()) return {};
    if (total != 1 && failures.Count() == total) return "Could not " + verb + " any files";
    return "Could not " + verb + " " + JoinListed(failures.Listed(), failures.Count(), ",");
}

void ReportFileFailures(Prompt* prompt, const FileFailures& failures, std::size_t total,
                        const std::string& verb) {
    if (prompt && !failures.Empty())
        prompt->Tell(FileFailuresText(failures, total, verb), PromptIcon::Warning);
}

}  // namespace zun
