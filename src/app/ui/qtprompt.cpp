#include "app/ui/qtprompt.h"

#include <QThread>

#include "app/messagereport.h"
#include "app/ui/zunmessage.h"
#include "foundation/ui/dialoghelpers.h"

namespace zun {

int MessageTypeFor(const PromptRequest& r) {
    int type = kMbOk;
    switch (r.buttons) {
        case PromptButtons::Ok:
            type = kMbOk;
            break;
        case PromptButtons::OkCancel:
            type = kMbOkCancel;
            break;
        case PromptButtons::YesNo:
            type = kMbYesNo;
            break;
        case PromptButtons::YesNoCancel:
            type = kMbYesNoCancel;
            break;
        case PromptButtons::ContinueSkipCancel:
            type = kMbContinueSkipCancel;
            break;
    }
    switch (r.icon) {
        case PromptIcon::None:
            break;
        case PromptIcon::Information:
            type |= kMbIconInformation;
            break;
        case PromptIcon::Warning:
            type |= kMbIconExclamation;
            break;
        case PromptIcon::Error:
            type |= kMbIconStop;
            break;
        case PromptIcon::Question:
            type |= kMbIconQuestion;
            break;
    }
    return type;
}

int QtPrompt::Ask(const PromptRequest& request) {
    return AskWhile(request, {});
}

int QtPrompt::AskWhile(const PromptRequest& request, const std::function<bool()>& stillApplies) {
    if (QThread::currentThread() != thread()) {
        // A window can only be shown on the UI thread; the asking thread waits for the answer.
        int answer = kPromptCancel;
        QMetaObject::invokeMethod(
            this, [&] { answer = AskWhile(request, stillApplies); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    const std::string caption = request.caption.empty() ? std::string("Zun") : request.caption;
    return ZunMessageBox(request.text, request.detail, caption, MessageTypeFor(request), MainWindow(),
                         stillApplies);
}

}  // namespace zun
