#pragma once
// Three channels a, b and c of one edge with the same pseudo-random words on every run, for the
// edit-data language's benchmarks.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "script/scriptdocument.h"

namespace zun::script::bench {

class BenchDocument : public zun::script::ScriptDocument {
public:
    explicit BenchDocument(int edge) : edge_(edge) {
        const size_t n = static_cast<size_t>(edge) * edge * edge;
        uint32_t x = 1;
        for (const char* name : {"a", "b", "c"}) {
            auto& w = words_[name];
            w.resize(n);
            for (auto& v : w) {
                x = x * 1664525u + 1013904223u;
                v = static_cast<uint16_t>((x >> 12) & 0x3FFF);
            }
        }
    }
    bool FindChannel(const std::string& name, zun::script::ChannelData& out) override {
        auto it = words_.find(name);
        if (it == words_.end()) return false;
        out.words = it->second.data();
        out.dims = {edge_, edge_, edge_};
        out.min = name == "a" ? 0.0f : 10.0f;
        out.max = name == "a" ? 16.0f : 20.0f;
        return true;
    }
    void SetModified() override {}
    void DataEdited() override {}
    std::vector<uint16_t>& Words(const std::string& name) { return words_[name]; }

private:
    int edge_;
    std::map<std::string, std::vector<uint16_t>> words_;
};

}  // namespace zun::script::bench
