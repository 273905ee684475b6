// The controls of each page kind by name, as the windows lay them out: what a script may set,
// select, check and press on a page, and the list a wrong name is answered with.
#pragma once

#include <string>
#include <vector>

namespace tessaro::wizards {

struct PageControls {
    std::vector<std::string> texts;    // edits and memos ("set")
    std::vector<std::string> lists;    // lists, combos and grids ("select", "select+")
    std::vector<std::string> radios;   // "check"
    std::vector<std::string> buttons;  // "press", besides btnNext, btnPrevious, btnFinish, btnCancel
    // Texts named by a prefix and a row's key ("Caption:staff.name").
    std::vector<std::string> textPrefixes;
};

// The controls of a page kind ("TfrmPage4"); none for a kind without a layout.
const PageControls& ControlsOf(const std::string& form);

// True when `name` is one of the page's edits or memos (a prefixed name included).
bool IsTextControl(const PageControls& controls, const std::string& name);

// "a, b, c", or "none" for an empty list; prefixes are shown as "Caption:<key>".
std::string NameList(const std::vector<std::string>& names);

// The buttons every page has.
const std::vector<std::string>& PageButtons();

}  // namespace tessaro::wizards
