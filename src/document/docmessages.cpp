#include "document/docmessages.h"

#include "platform/prompt.h"

namespace zun {

std::string docmsg::ChannelExists(const std::string& name) {
    return "Channel \"" + name + "\" already exists";
}

std::string docmsg::ChannelNameExists(const std::string& name) {
    return "Channel name '" + name + "' already exists";
}

void ShowInsufficientMemoryError(Prompt* prompt, const std::string& activity) {
    if (!prompt) return;
    std::string text = "Insufficient memory";
    if (!activity.empty()) text += " while " + activity;
    prompt->Tell(text + ".", PromptIcon::Error);
}

void ReportFileFailures(Prompt* prompt, const std::vector<std::string>& failures, std::size_t total,
                        const std::string& verb) {
    if (!prompt || failures.empty()) return;
    std::string text;
    if (total != 1 && failures.size() == total) {
        text = "Could not " + verb + " any files";
    } else {
        text = "Could not " + verb + " " + failures.front();
        for (std::size_t i = 1; i < failures.size(); ++i) text += "," + failures[i];
    }
    prompt->Tell(text, PromptIcon::Warning);
}

}  // namespace zun
