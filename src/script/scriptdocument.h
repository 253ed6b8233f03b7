#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zun::script {

// One channel as the edit-data language sees it: its voxel words (bits 0-13 the value, bit 14
// RO, bit 15 ERR; first index fastest), its dimension lengths (first axis first) and its
// physical value range.
struct ChannelData {
    uint16_t* words = nullptr;
    std::vector<int32_t> dims;
    float min = 0.0f;
    float max = 1.0f;
};

// The narrow access to a document that the language needs; the document implements it.
class ScriptDocument {
public:
    virtual ~ScriptDocument() = default;
    // The first channel whose name equals the text exactly (case-sensitive); false when none.
    virtual bool FindChannel(const std::string& name, ChannelData& out) = 0;
    // Voxel data was assigned: the document is now modified.
    virtual void SetModified() = 0;
    // After every line, successful or not: views refresh and statistics are recomputed.
    virtual void DataEdited() = 0;
};

}  // namespace zun::script
