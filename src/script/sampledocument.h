#pragma once

#include <functional>

#include "model/sample.h"
#include "script/scriptdocument.h"

namespace zun::script {

// The language's access to a sample: channels by name with their voxel words, lengths and value
// range. What a change means for the document (its modified flag, the views' refresh) is left
// to the two callbacks, which the document supplies.
class SampleScriptDocument : public ScriptDocument {
public:
    SampleScriptDocument(ZunImage& image, std::function<void()> onModified, std::function<void()> onEdited)
        : image_(image), onModified_(std::move(onModified)), onEdited_(std::move(onEdited)) {}

    bool FindChannel(const std::string& name, ChannelData& out) override;
    void SetModified() override {
        if (onModified_) onModified_();
    }
    void DataEdited() override {
        if (onEdited_) onEdited_();
    }

private:
    ZunImage& image_;
    std::function<void()> onModified_;
    std::function<void()> onEdited_;
};

}  // namespace zun::script
