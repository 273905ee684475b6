#include "wizards/wizard_page.h"

#include <algorithm>

namespace tessaro::wizards {

std::string WizardPage::Selected(const std::string& list) const {
    auto sel = Selections.find(list);
    auto items = Lists.find(list);
    if (sel == Selections.end() || sel->second.empty() || items == Lists.end()) return "";
    std::size_t i = sel->second.front();
    return i < items->second.size() ? items->second[i] : "";
}

bool WizardPage::Select(const std::string& list, const std::string& text) {
    const std::vector<std::string>& items = Lists[list];
    auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) return false;
    Selections[list] = {static_cast<std::size_t>(it - items.begin())};
    return true;
}

void WizardPage::Fill(const std::string& list, const std::vector<std::string>& items) {
    std::string before = Selected(list);
    bool hadSelection = !Selections[list].empty();
    Lists[list] = items;
    Selections[list].clear();
    if (hadSelection) {
        Select(list, before);
    } else if (!items.empty()) {
        Selections[list] = {0};
    }
}

}  // namespace tessaro::wizards
