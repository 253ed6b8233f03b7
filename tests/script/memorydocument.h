#pragma once

#include <map>
#include <string>
#include <vector>

#include "script/editdata.h"
#include "script/scriptdocument.h"

namespace zun::script::test {

// An in-memory document of named channels for the language's tests.
class MemoryDocument : public ScriptDocument {
public:
    struct Channel {
        std::vector<uint16_t> words;
        std::vector<int32_t> dims;
        float min = 0.0f, max = 1.0f;
    };

    Channel& Add(const std::string& name, std::vector<int32_t> dims, float min = 0.0f, float max = 1.0f);
    Channel& Get(const std::string& name) { return channels_.at(name); }

    bool FindChannel(const std::string& name, ChannelData& out) override;
    void SetModified() override { modified = true; }
    void DataEdited() override { ++edits; }

    // Runs one line and returns the printed text without its leading new line.
    std::string Run(const std::string& line, bool fast = true);

    bool modified = false;
    int edits = 0;
    // The lines' work limit (EditDataOptions::workLimit).
    uint64_t workLimit = 0;

private:
    std::map<std::string, Channel> channels_;
};

// Fills a channel with reproducible words (flag bits included) from a seed.
void FillPattern(MemoryDocument::Channel& c, uint32_t seed, bool flags = true);

}  // namespace zun::script::test
