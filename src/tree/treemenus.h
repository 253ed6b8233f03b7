#pragma once
// The four context menus of the document tree as plain data: which popup an item gets, the
// entries each popup holds, the entries trimmed away for the current selection, and the channel
// submenus filled with the document's channels. The widget only draws what this gives.

#include <string>
#include <vector>

#include "tree/displaytree.h"

namespace zun {

enum class TreePopup { Root = 0, Channel = 1, Slice = 2, Boundary = 3 };

// The popup of an item: the root's, a boundary channel's, another channel's or a slice's.
TreePopup PopupOf(const TreeNode* item);

struct MenuEntry {
    enum Type { kCommand, kSeparator, kSubmenu };
    Type type = kCommand;
    std::string text;
    int command = 0;  // commands; a channel submenu holds its placeholder's number
    bool checkable = false;
    bool enabled = true;
    bool checked = false;
    std::vector<MenuEntry> children;
};
using MenuEntries = std::vector<MenuEntry>;

// The entries of a popup as the menu resource holds them (channel submenus with their
// placeholder).
MenuEntries PopupEntries(TreePopup popup);

// Removes the imported-image entries (and the root's "Autosize Grid...") when the document, the
// selected channels or the selected slices hold no imported images.
void TrimPopup(MenuEntries& entries, TreePopup popup, const DisplayTree& tree);

// Replaces each channel submenu's placeholder by one entry per channel (the first 50), labelled
// with the channel's name and numbered from the submenu's first command.
void FillChannelSubmenus(MenuEntries& entries, const DisplayTree& tree);

// Every command entry, submenus included, in menu order.
std::vector<const MenuEntry*> CommandEntries(const MenuEntries& entries);
std::vector<MenuEntry*> CommandEntries(MenuEntries& entries);
// The entry with that text path ("Export Data", "2D Images..."), or null.
const MenuEntry* FindEntry(const MenuEntries& entries, const std::vector<std::string>& path);
const MenuEntry* FindCommand(const MenuEntries& entries, int command);

}  // namespace zun
