#include "app/messagereport.h"

namespace zun {

std::vector<std::string> SplitReport(const std::string& report) {
    std::string text;
    text.reserve(report.size());
    for (char c : report) {
        if (c == '\t')
            text += "   ";
        else
            text += c;
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

MessageButtons MessageButtonsFor(int type) {
    switch (type & 0x07) {
        case kMbOk:
            return {0, 0, kIdOk, kIdOk, "Note"};
        case kMbOkCancel:
            return {0, kIdOk, kIdCancel, kIdCancel, "Note"};
        case kMbAbortRetryIgnore:
            return {kIdAbort, kIdRetry, kIdIgnore, kIdAbort, "Question"};
        case kMbYesNoCancel:
            return {kIdYes, kIdNo, kIdCancel, kIdCancel, "Question"};
        case kMbYesNo:
            return {0, kIdYes, kIdNo, kIdNo, "Question"};
        case kMbRetryCancel:
            return {0, kIdRetry, kIdCancel, kIdCancel, "Question"};
        case kMbCancelTryContinue:
            return {kIdCancel, kIdTryAgain, kIdContinue, kIdCancel, "Question"};
        default:
            return {kIdContinue, kIdSkip, kIdCancel, kIdCancel, "Question"};
    }
}

int MessageIconKind(int type) {
    const int k = type & 0x70;
    return (k >= 0x10 && k <= 0x40) ? k : 0;
}

const char* MessageButtonText(int id) {
    switch (id) {
        case kIdOk:
            return "OK";
        case kIdCancel:
            return "Cancel";
        case kIdAbort:
            return "Abort";
        case kIdRetry:
            return "Retry";
        case kIdIgnore:
            return "Ignore";
        case kIdYes:
            return "Yes";
        case kIdNo:
            return "No";
        case kIdTryAgain:
            return "Try Again";
        case kIdContinue:
            return "Continue";
        case kIdSkip:
            return "Skip";
        default:
            return "";
    }
}

}  // namespace zun
