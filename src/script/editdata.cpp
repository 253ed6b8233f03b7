#include "script/editdata.h"

#include <malloc.h>

#include <exception>
#include <new>

#include "foundation/threadcount.h"
#include "script/evaluator.h"
#include "script/messages.h"

namespace zun::script {

namespace {

// What a line took beyond this stays with the process after it is freed unless it is handed back:
// the heap keeps freed small blocks (and large ones below its mapping threshold) for reuse.
constexpr size_t kTrimValues = 1 << 16;
constexpr size_t kTrimBytes = size_t{1} << 20;

int Evaluate(ScriptDocument* document, SyntaxNode* root, std::string& out, const EditDataOptions& options,
             bool& heavy) {
    ValuePool pool;
    pool.fast = options.fast;
    pool.threads = TeamThreads(options.threads);
    pool.workLimit = options.workLimit;
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
    heavy = pool.Peak() > kTrimValues || pool.blockBytes > kTrimBytes;
    return status;
}

}  // namespace

int Execute(ScriptDocument* document, SyntaxNode* root, std::string& out, const EditDataOptions& options) {
    bool heavy = false;
    const int status = Evaluate(document, root, out, options, heavy);
    if (heavy) malloc_trim(0);
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
