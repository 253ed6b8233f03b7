#include "compute/pluginparams.h"

namespace zun {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
}  // namespace

void PluginArgs::Add(std::string arg) {
    args_.push_back(std::move(arg));
}

char** PluginArgs::argv() {
    argv_.clear();
    argv_.reserve(args_.size() + 1);
    for (std::string& a : args_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    return argv_.data();
}

PluginArgs TokenizePluginParameters(const std::string& baseName, const std::string& parameters) {
    PluginArgs out;
    out.Add(baseName);
    const std::size_t n = parameters.size();
    std::size_t i = 0;
    while (i < n) {
        while (i < n && IsBlank(parameters[i])) ++i;
        if (i >= n) break;
        std::string token;
        bool quoted = false;
        for (; i < n; ++i) {
            const char c = parameters[i];
            if (quoted) {
                if (c == '"') {
                    quoted = false;
                } else if (c == '\\' && i + 1 < n) {
                    token += parameters[++i];
                } else {
                    token += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (IsBlank(c)) {
                break;
            } else {
                token += c;
            }
        }
        out.Add(std::move(token));
    }
    return out;
}

}  // namespace zun
