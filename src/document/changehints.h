#pragma once
// The change hints the document sends to its views with UpdateAllViews. The hint number is a bit
// set (1 state text, 2 data, 4 status values, 8 display items, 16 structure or data colour,
// 64 opacity, 128 mask); the hint object says what changed. Hint objects carry data only; a view
// tells them apart with dynamic_cast, in the order they are declared here.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zun {

// Common values of the hint number.
enum DocHint : unsigned {
    kHintRename = 0,  // renames, slice marks, active boundary
    kHintState = 1,
    kHintData = 2,
    kHintStatus = 4,
    kHintStatsWithData = 6,
    kHintDisplayItems = 8,
    kHintColour = 16,
    kHintStructure = 18,
    kHintOpacity = 64,
    kHintMask = 128,
};

class ChangeHint {
public:
    virtual ~ChangeHint() = default;
};

struct ChanSliceRecord {
    std::string channel;
    std::uint32_t slice = 0;
    bool operator==(const ChanSliceRecord&) const = default;
};

class InsertChanMod : public ChangeHint {
public:
    InsertChanMod(std::string name_, std::string after_) : name(std::move(name_)), after(std::move(after_)) {}
    std::string name;
    std::string after;  // empty: inserted first
};

class DeleteChanMod : public ChangeHint {
public:
    explicit DeleteChanMod(std::vector<std::string> names_) : names(std::move(names_)) {}
    std::vector<std::string> names;
};

class RenameChanMod : public ChangeHint {
public:
    RenameChanMod(std::string oldName_, std::string newName_)
        : oldName(std::move(oldName_)), newName(std::move(newName_)) {}
    std::string oldName;
    std::string newName;
};

class InsertSliceMod : public ChangeHint {
public:
    InsertSliceMod(std::uint32_t first_, std::uint32_t count_) : first(first_), count(count_) {}
    std::uint32_t first;
    std::uint32_t count;
};

class ImportSliceMod : public ChangeHint {
public:
    // Single-channel form: slices first..first+count-1 of the channel.
    ImportSliceMod(std::string channel_, std::uint32_t first_, std::uint32_t count_, bool imported_)
        : channel(std::move(channel_)), first(first_), count(count_), imported(imported_) {}
    // List form.
    ImportSliceMod(std::vector<ChanSliceRecord> records_, bool imported_)
        : imported(imported_), records(std::move(records_)) {}
    std::optional<std::string> channel;  // absent: list form
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint8_t imported = 0;
    std::vector<ChanSliceRecord> records;
};

class ClearSliceMod : public ChangeHint {
public:
    ClearSliceMod(std::string channel_, std::uint32_t first_, std::uint32_t count_)
        : channel(std::move(channel_)), first(first_), count(count_) {}
    explicit ClearSliceMod(std::vector<ChanSliceRecord> records_) : records(std::move(records_)) {}
    std::optional<std::string> channel;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::vector<ChanSliceRecord> records;
};

class ReverseSliceMod : public ChangeHint {
public:
    ReverseSliceMod(std::string channel_, std::uint32_t count_)
        : channel(std::move(channel_)), count(count_) {}
    std::string channel;
    std::uint32_t count;
};

class DeleteSliceMod : public ChangeHint {
public:
    DeleteSliceMod(std::uint32_t first_, std::uint32_t count_) : first(first_), count(count_) {}
    // List form; the numbers are sorted descending without repeats by the sender.
    explicit DeleteSliceMod(std::vector<std::uint32_t> numbers_)
        : first(numbers_.empty() ? 0 : numbers_.back()),
          count(static_cast<std::uint32_t>(numbers_.size())),
          numbers(std::move(numbers_)) {}
    std::uint32_t first;
    std::uint32_t count;
    std::optional<std::vector<std::uint32_t>> numbers;  // absent: range form
};

class RenameDocMod : public ChangeHint {
public:
    explicit RenameDocMod(std::string title_) : title(std::move(title_)) {}
    std::string title;
};

class ChangeBoundMod : public ChangeHint {
public:
    explicit ChangeBoundMod(std::vector<std::string> channels_) : channels(std::move(channels_)) {}
    std::vector<std::string> channels;
};

class ActiveBoundMod : public ChangeHint {
public:
    ActiveBoundMod(std::string name_, bool active_) : name(std::move(name_)), active(active_ ? 1 : 0) {}
    std::string name;  // empty: none
    std::uint8_t active;
};

// Tree items are the GUI's; the core passes them through as opaque handles.
using TreeItemId = const void*;

class StatsMod : public ChangeHint {
public:
    StatsMod() = default;
    explicit StatsMod(int field_, const std::set<TreeItemId>* items_ = nullptr)
        : field(field_), items(items_) {}
    int field = 0;
    const std::set<TreeItemId>* items = nullptr;  // null: every item
};

// A view of a document: told of every change the document announces.
class DocView {
public:
    virtual ~DocView() = default;
    virtual void OnUpdate(DocView* sender, unsigned hint, const ChangeHint* hintObject) = 0;
};

// The document's views in registration order. UpdateAllViews calls every view except the sender,
// synchronously on the calling (UI) thread. A view may add or remove views while it is told; a
// view removed during the round is not called any more, one added is called from the next round.
class DocViewList {
public:
    void Add(DocView* view);
    void Remove(DocView* view);
    bool Contains(const DocView* view) const;
    std::size_t Size() const { return views_.size(); }
    const std::vector<DocView*>& Views() const { return views_; }
    void UpdateAllViews(DocView* sender, unsigned hint, const ChangeHint* hintObject = nullptr);

private:
    std::vector<DocView*> views_;
};

}  // namespace zun
