#include "document/changehints.h"

#include <algorithm>

namespace zun {

void DocViewList::Add(DocView* view) {
    if (view && !Contains(view)) views_.push_back(view);
}

void DocViewList::Remove(DocView* view) {
    std::erase(views_, view);
}

bool DocViewList::Contains(const DocView* view) const {
    return std::find(views_.begin(), views_.end(), view) != views_.end();
}

void DocViewList::UpdateAllViews(DocView* sender, unsigned hint, const ChangeHint* hintObject) {
    const std::vector<DocView*> round = views_;
    for (DocView* v : round)
        if (v != sender && Contains(v)) v->OnUpdate(sender, hint, hintObject);
}

}  // namespace zun
