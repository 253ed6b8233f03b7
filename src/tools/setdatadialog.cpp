#include "tools/setdatadialog.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "platform/prompt.h"

namespace zun {

namespace {

const char* FormatWord(int format) {
    return format == SetDataRequest::kRaw          ? "Raw"
           : format == SetDataRequest::kNormalised ? "Normalised"
                                                   : "Physical";
}

// A whole text read as a decimal number (blanks around it allowed).
bool ReadDecimal(const std::string& text, double& value) {
    char* end = nullptr;
    value = StrToDoubleC(text.c_str(), &end);
    if (end == text.c_str()) return false;
    while (*end && std::isspace(static_cast<unsigned char>(*end))) ++end;
    return *end == 0 && std::isfinite(value);
}

float ClampRaw(double r) {
    r = std::trunc(r);
    return static_cast<float>(r >= 16383 ? 16383 : (r < 0 ? 0 : r));
}

}  // namespace

CChanSetData::CChanSetData(CZunDoc& doc, const SetDataRequest& r) : request(r), doc_(doc) {
    physicalAvailable_ = request.physicalAvailable && request.maximum > request.minimum;
    if (request.format == SetDataRequest::kPhysical && !physicalAvailable_)
        request.format = SetDataRequest::kNormalised;
    for (std::size_t j = 0; j < 3; ++j) {
        offsetText[j] = FormatC("%u", request.offsets[j]);
        rangeText[j] = FormatC("%u", request.ranges[j]);
    }
    valueText = {FormatC("%g", request.from), FormatC("%g", request.to), FormatC("%g", request.value)};
    lastAccepted_ = valueText;
    groupCaption_ = std::string("Action based on Existing ") + FormatWord(request.format) + " Data Range";
}

std::string CChanSetData::FormatLabel(int format) const {
    switch (format) {
        case SetDataRequest::kRaw:
            return "Raw fixed point (0 to 16383)";
        case SetDataRequest::kNormalised:
            return "Normalized (0 to 1) ";
        default:
            return physicalAvailable_ ? FormatC("Physical units (%g to %g)", request.minimum, request.maximum)
                                      : "(Physical format not available)";
    }
}

bool CChanSetData::LeaveBoxEdit(bool range, int axis) {
    std::string& text = (range ? rangeText : offsetText)[static_cast<std::size_t>(axis)];
    std::uint32_t& stored = (range ? request.ranges : request.offsets)[static_cast<std::size_t>(axis)];
    bool ok = !text.empty() && text.size() <= 10;
    for (char c : text) ok = ok && std::isdigit(static_cast<unsigned char>(c));
    const unsigned long long v = ok ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!ok || v > 0xFFFFFFFFull) {
        Tell(setdatamsg::kInvalidNumber);
        text = FormatC("%u", stored);
        return false;
    }
    stored = static_cast<std::uint32_t>(v);
    return true;
}

bool CChanSetData::ReadValue(int field, float& value) const {
    double v = 0;
    if (!ReadDecimal(valueText[static_cast<std::size_t>(field)], v)) return false;
    switch (request.format) {
        case SetDataRequest::kRaw:
            if (v != std::floor(v) || v < 0 || v > 16383) return false;
            break;
        case SetDataRequest::kNormalised:
            if (v < 0 || v > 1) return false;
            break;
        default:
            if (v < request.minimum || v > request.maximum) return false;
    }
    value = static_cast<float>(v);
    return true;
}

bool CChanSetData::LeaveValueEdit(int field) {
    const auto f = static_cast<std::size_t>(field);
    float v = 0;
    if (!ReadValue(field, v)) {
        valueText[f] = lastAccepted_[f];
        Tell(request.format == SetDataRequest::kRaw          ? setdatamsg::kInvalidRaw
             : request.format == SetDataRequest::kNormalised ? setdatamsg::kInvalidNormalised
                                                             : setdatamsg::kInvalidPhysical);
        return false;
    }
    if (field != kValue) {
        float other = 0;
        const bool otherOk = ReadValue(field == kFrom ? kTo : kFrom, other);
        if (otherOk && (field == kFrom ? v > other : v < other)) {
            valueText[f] = lastAccepted_[f];
            Tell(field == kFrom ? setdatamsg::kFromAboveTo : setdatamsg::kToBelowFrom);
            return false;
        }
    }
    lastAccepted_[f] = valueText[f];
    return true;
}

void CChanSetData::ChooseFormat(int format) {
    if (format == request.format) return;
    if (format == SetDataRequest::kPhysical && !physicalAvailable_) return;
    const int from = request.format;
    const float lo = request.minimum, hi = request.maximum;
    for (std::string& text : valueText) {
        float v = static_cast<float>(StrToDoubleC(text.c_str()));
        const float r = static_cast<float>(std::strtoul(text.c_str(), nullptr, 10));
        float out = v;
        if (format == SetDataRequest::kRaw) {
            out = from == SetDataRequest::kNormalised ? ClampRaw(v * 16383.0f + 0.5f)
                                                      : ClampRaw((v - lo) * 16383.0f / (hi - lo) + 0.5f);
        } else if (format == SetDataRequest::kNormalised) {
            out = from == SetDataRequest::kRaw ? r / 16383.0f : (v - lo) / (hi - lo);
        } else {
            out = from == SetDataRequest::kRaw ? lo + (hi - lo) * r / 16383.0f : lo + (hi - lo) * v;
        }
        text = FormatC("%g", out);
    }
    lastAccepted_ = valueText;
    request.format = format;
    groupCaption_ = std::string("Conditional Action based on Existing ") + FormatWord(format) + " Data Range";
}

bool CChanSetData::Apply() {
    for (int axis = 0; axis < 3; ++axis)
        if (!LeaveBoxEdit(false, axis) || !LeaveBoxEdit(true, axis)) return false;
    for (int field = kFrom; field <= kValue; ++field)
        if (!LeaveValueEdit(field)) return false;
    ReadValue(kFrom, request.from);
    ReadValue(kTo, request.to);
    ReadValue(kValue, request.value);
    doc_.ApplySetData(request);
    applyEnabled = false;
    return true;
}

void CChanSetData::Tell(const std::string& text) const {
    if (Prompt* p = doc_.GetPromptSink()) p->Tell(text, PromptIcon::Information);
}

}  // namespace zun
