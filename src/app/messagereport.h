#pragma once
// What the program's message dialog shows: the report split into rows, and the buttons, default
// button and caption that a message-box type code asks for.

#include <string>
#include <vector>

namespace zun {

// The button ids the message dialog returns.
enum MessageButtonId : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
    kIdTryAgain = 10,
    kIdContinue = 11,
    kIdSkip = 12,
};

// Type codes: the low three bits choose the button set, bits 4-6 the icon.
enum MessageTypeBits : int {
    kMbOk = 0x00,
    kMbOkCancel = 0x01,
    kMbAbortRetryIgnore = 0x02,
    kMbYesNoCancel = 0x03,
    kMbYesNo = 0x04,
    kMbRetryCancel = 0x05,
    kMbCancelTryContinue = 0x06,
    kMbContinueSkipCancel = 0x07,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
};

// Tabs become three blanks; one row per line; the text after the last line feed is a row only
// when it is not empty; an empty report has no rows.
std::vector<std::string> SplitReport(const std::string& report);

struct MessageButtons {
    int left = 0, middle = 0, right = 0;  // button ids, 0 for an empty place
    int defaultButton = 0;
    const char* caption = "";  // used when the caller gives none
};
MessageButtons MessageButtonsFor(int type);
// The icon kind (0x10, 0x20, 0x30 or 0x40); 0 for none.
int MessageIconKind(int type);
// The label of a button id ("Yes", "Try Again", ...).
const char* MessageButtonText(int id);

}  // namespace zun
