#pragma once

#include <cstdint>
#include <string>

#include "script/scriptdocument.h"
#include "script/syntax.h"

namespace zun::script {

struct EditDataOptions {
    // Bulk kernels and dense temporaries; false evaluates element by element (the reference).
    bool fast = true;
    // Threads of the bulk kernels; 0 takes the machine's processor count.
    int threads = 0;
    // Elements a line may make (dense elements, value objects counting several each) before it
    // is refused; 0 for no limit.
    uint64_t workLimit = 0;
};

// Evaluates a parsed line and prints its result (or the failure text) on a new line of out;
// the document is told afterwards that data may have changed. Returns 0 when a result was
// computed, -1 otherwise.
int Execute(ScriptDocument* document, SyntaxNode* root, std::string& out,
            const EditDataOptions& options = {});

// Scans, parses and evaluates one console line; everything the console would print is appended
// to out (each message and the result on a new line). Returns 0 on success, -1 when the
// evaluation failed, or the parser's status (1 syntax error, 2 nesting too deep). On a syntax
// error, *syntaxErrorAt (when given) receives the byte offset of the refused token.
int ParseCommand(ScriptDocument* document, const std::string& text, std::string& out,
                 const EditDataOptions& options = {}, size_t* syntaxErrorAt = nullptr);

// Offset reported when a line had no syntax error.
inline constexpr size_t kNoSyntaxError = static_cast<size_t>(-1);

// The console's one-line entry: the printed text of the line. syntaxErrorAt as above, or
// kNoSyntaxError.
std::string ExecuteLine(ScriptDocument& document, const std::string& text,
                        const EditDataOptions& options = {}, size_t* syntaxErrorAt = nullptr);

}  // namespace zun::script
