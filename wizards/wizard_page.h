// One page of a wizard as data: its place in the sequence, its buttons and the state of its
// controls by name (edits and memos, lists with their selections, radios). The window view
// draws these; the headless driver and the tests set them directly.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace tessaro::wizards {

enum WizardButton { kCancelButton = 0, kBackButton = 1, kFinishButton = 2, kNextButton = 3 };

struct WizardPage {
    std::string Form;     // the page's kind, "TfrmPage1" ...
    std::string Heading;  // the text at the top of the page
    std::string Title;    // the window caption: the wizard's name
    int PageIndex = 0;
    int NextIndex = 1;
    int PreviousIndex = -1;
    bool IsFinalPage = false;
    std::array<bool, 4> Buttons{true, true, true, true};

    std::map<std::string, std::string> Texts;
    std::map<std::string, std::vector<std::string>> Lists;
    std::map<std::string, std::vector<std::size_t>> Selections;
    std::map<std::string, bool> Checks;

    void SetButtons(bool cancel, bool back, bool finish, bool next) { Buttons = {cancel, back, finish, next}; }

    // The first selected entry of a list, or "" when none is.
    std::string Selected(const std::string& list) const;
    // Selects the entry with that text (only it); false when the list has none.
    bool Select(const std::string& list, const std::string& text);
    // Replaces the entries and keeps the selection on the same text, else the first entry
    // when nothing was selected before.
    void Fill(const std::string& list, const std::vector<std::string>& items);
};

}  // namespace tessaro::wizards
