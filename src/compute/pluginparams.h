#pragma once
// The argument vector handed to a plug-in's run: argv[0] is the library's base name, then the
// tokens of the user's parameter string.

#include <string>
#include <vector>

namespace zun {

class PluginArgs {
public:
    int argc() const { return static_cast<int>(args_.size()); }
    // A null-terminated array of pointers to separate zero-terminated copies, valid until this
    // object is moved, destroyed or asked again.
    char** argv();
    const std::vector<std::string>& Args() const { return args_; }

private:
    friend PluginArgs TokenizePluginParameters(const std::string& baseName, const std::string& parameters);
    void Add(std::string arg);

    std::vector<std::string> args_;
    std::vector<char*> argv_;
};

// White space separates tokens; double quotes group (the quotes themselves are dropped, and a
// quoted empty string is an empty argument); inside quotes a backslash takes the next character
// literally. Outside quotes a backslash is an ordinary character, so folder paths pass unchanged.
PluginArgs TokenizePluginParameters(const std::string& baseName, const std::string& parameters);

}  // namespace zun
