#include "script/editdata.h"

#include <exception>
#include <new>

#include "foundation/threadcount.h"
#include "script/evaluator.h"
#include "script/messages.h"

namespace zun::script {

int Execute(ScriptDocument* document, SyntaxNode* root, std::string& out, const EditDataOptions& options) {
    ValuePool pool;
    pool.fast = options.fast;
    pool.threads = TeamThreads(options.threads);
    Evaluator evaluator(document, pool);
    int status = -1;
    auto guarded = [&](auto&& body) {
        try {
            body();
            return true;
        } catch (const ScriptError& e) {
            out += "\n";
            out += e.text;
        } catch (const std::bad_alloc&) {
            out += "\n";
            out += msg::kOutOfMemory;
        } catch (const std::exception& e) {
            out += "\n";
            out += e.what();
        }
        return false;
    };
    guarded([&] {
        Value* result = evaluator.Evaluate(root);
        const bool full = result->TotalCount() <= 50;
        std::string text = result->ToString(full);
        out += "\n";
        out += text;
        status = 0;
    });
    // Pending post-increments run here; a failure among them is shown like any other.
    guarded([&] { evaluator.Release(root); });
    if (document) document->DataEdited();
    return status;
}

int ParseCommand(ScriptDocument* document, const std::string& text, std::string& out,
                 const EditDataOptions& options, size_t* syntaxErrorAt) {
    ParseResult parsed = ParseLine(text, out);
    if (syntaxErrorAt) *syntaxErrorAt = parsed.status == 1 ? parsed.errorOffset : kNoSyntaxError;
    if (parsed.status != 0 || !parsed.root) return parsed.status;
    return Execute(document, parsed.root.get(), out, options);
}

std::string ExecuteLine(ScriptDocument& document, const std::string& text, const EditDataOptions& options,
                        size_t* syntaxErrorAt) {
    std::string out;
    ParseCommand(&document, text, out, options, syntaxErrorAt);
    return out;
}

}  // namespace zun::script
