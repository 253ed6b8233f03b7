#include "script/docscript.h"

#include <algorithm>

#include "document/changehints.h"
#include "document/zundoc.h"
#include "model/zunchan.h"
#include "script/messages.h"

namespace zun::script {

ZunDocScriptDocument::ZunDocScriptDocument(CZunDoc& doc)
    : SampleScriptDocument(doc.GetSample(), {}, {}), doc_(doc) {}

bool ZunDocScriptDocument::FindChannel(const std::string& name, ChannelData& out) {
    if (!SampleScriptDocument::FindChannel(name, out)) return false;
    ZunChan* chan = doc_.GetSample().FindChan(name);
    if (std::find(named_.begin(), named_.end(), chan) == named_.end()) named_.push_back(chan);
    return true;
}

void ZunDocScriptDocument::DataEdited() {
    if (assigned_) doc_.NoteVoxelsEdited(named_);
    assigned_ = false;
    named_.clear();
    StatsMod stats(0);
    doc_.UpdateAllViews(nullptr, kHintData, &stats);
}

std::string ExecuteDocumentLine(CZunDoc& doc, const std::string& text, const EditDataOptions& options,
                                size_t* syntaxErrorAt) {
    if (syntaxErrorAt) *syntaxErrorAt = kNoSyntaxError;
    if (doc.IsComputing()) return std::string("\n") + msg::kBusyEdit;
    ZunDocScriptDocument target(doc);
    return ExecuteLine(target, text, options, syntaxErrorAt);
}

}  // namespace zun::script
