#pragma once
// Document fixtures shared by the document tests (header-only).

#include <sstream>
#include <string>
#include <vector>

#include "document/changehints.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"

namespace zun {

// Writes every hint it is told as one line of text.
class HintLog : public DocView {
public:
    void OnUpdate(DocView*, unsigned hint, const ChangeHint* h) override {
        std::ostringstream o;
        o << hint;
        auto list = [&](const std::vector<std::string>& v) {
            for (const auto& s : v) o << " " << s;
        };
        auto records = [&](const std::vector<ChanSliceRecord>& v) {
            for (const auto& r : v) o << " " << r.channel << ":" << r.slice;
        };
        if (auto* m = dynamic_cast<const InsertChanMod*>(h)) {
            o << " InsertChan " << m->name << " after '" << m->after << "'";
        } else if (auto* m = dynamic_cast<const DeleteChanMod*>(h)) {
            o << " DeleteChan";
            list(m->names);
        } else if (auto* m = dynamic_cast<const RenameChanMod*>(h)) {
            o << " RenameChan " << m->oldName << " -> " << m->newName;
        } else if (auto* m = dynamic_cast<const InsertSliceMod*>(h)) {
            o << " InsertSlice " << m->first << "+" << m->count;
        } else if (auto* m = dynamic_cast<const ImportSliceMod*>(h)) {
            o << " ImportSlice";
            if (m->channel) o << " " << *m->channel << " " << m->first << "+" << m->count;
            records(m->records);
            o << " imported " << int(m->imported);
        } else if (auto* m = dynamic_cast<const ClearSliceMod*>(h)) {
            o << " ClearSlice";
            records(m->records);
        } else if (auto* m = dynamic_cast<const ReverseSliceMod*>(h)) {
            o << " ReverseSlice " << m->channel << " " << m->count;
        } else if (auto* m = dynamic_cast<const DeleteSliceMod*>(h)) {
            o << " DeleteSlice " << m->first << "+" << m->count;
            if (m->numbers)
                for (auto z : *m->numbers) o << " " << z;
        } else if (auto* m = dynamic_cast<const RenameDocMod*>(h)) {
            o << " RenameDoc " << m->title;
        } else if (auto* m = dynamic_cast<const ChangeBoundMod*>(h)) {
            o << " ChangeBound";
            list(m->channels);
        } else if (auto* m = dynamic_cast<const ActiveBoundMod*>(h)) {
            o << " ActiveBound '" << m->name << "' " << int(m->active);
        } else if (auto* m = dynamic_cast<const StatsMod*>(h)) {
            o << " Stats " << m->field << (m->items ? " some" : " all");
        }
        lines.push_back(o.str());
    }
    std::vector<std::string> Take() { return std::exchange(lines, {}); }
    std::vector<std::string> lines;
};

inline void RegisterAllClasses() {
    RegisterDocumentClasses();
}

// A document with a prompt and a hint log attached.
struct DocFixture {
    HeadlessPrompt prompt;
    HintLog hints;
    CZunDoc doc{DocServices{&prompt, nullptr, nullptr}};
    DocFixture() {
        RegisterAllClasses();
        doc.OnNewDocument();
        doc.Views().Add(&hints);
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& r : prompt.Requests()) out.push_back(r.text);
        prompt.Clear();
        return out;
    }
};

}  // namespace zun
