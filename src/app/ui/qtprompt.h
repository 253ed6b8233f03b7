#pragma once
// The prompt of the running program: every question or message of the core shows the program's
// message dialog on the UI thread, whichever thread asked.

#include <QObject>

#include "platform/prompt.h"

namespace zun {

// The message-box type code of a request.
int MessageTypeFor(const PromptRequest& request);

class QtPrompt : public QObject, public Prompt {
    Q_OBJECT
public:
    explicit QtPrompt(QObject* parent = nullptr) : QObject(parent) {}
    int Ask(const PromptRequest& request) override;
    int AskWhile(const PromptRequest& request, const std::function<bool()>& stillApplies) override;
};

}  // namespace zun
