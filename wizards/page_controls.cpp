#include "wizards/page_controls.h"

#include <map>

namespace tessaro::wizards {

namespace {

const std::map<std::string, PageControls>& Table() {
    static const PageControls kName{{"txtApplicationName"}, {}, {}, {}, {}};
    static const PageControls kDataSource{{"txtUsername", "txtPassword"}, {"lstDatasources"}, {}, {}, {}};
    static const PageControls kFieldSelection{
        {}, {"lstFields", "lstSelectedFields"}, {}, {"btnAdd", "btnAddAll", "btnRemove", "btnRemoveAll"}, {}};
    static const PageControls kProperties{{}, {"grdFieldProperties"}, {}, {}, {}};
    static const std::map<std::string, PageControls> table{
        {"TfrmPage1", kName},
        {"TfrmPage12", kName},
        {"TfrmPage11", {}},
        {"TfrmPage9B", {{}, {}, {}, {"btnBrowse"}, {}}},
        {"TfrmPage2", kDataSource},
        {"TfrmPage13", kDataSource},
        {"TfrmPage3", {{}, {"lstTables"}, {}, {}, {}}},
        {"TfrmPage4", kFieldSelection},
        {"TfrmPage10", kFieldSelection},
        {"TfrmPage14", kFieldSelection},
        {"TfrmPage18", kFieldSelection},
        {"TfrmPage20", kFieldSelection},
        {"TfrmPage22", kFieldSelection},
        {"TfrmPage5", kProperties},
        {"TfrmPage17", kProperties},
        {"TfrmPage6",
         {{"memoHeader", "memoFooter"}, {}, {"radioTabularStyle", "radioPreformatedStyle", "radioSimpleStyle"}, {}, {}}},
        {"TfrmPage7",
         {{"txtNextPage", "txtToEmailAddress", "txtFromEmailAddress"},
          {},
          {"RadioWizardGenerated", "RadioExistingPage"},
          {},
          {}}},
        {"TfrmPage8", {}},
        {"TfrmPage15", {{}, {"lstJoins", "comboFields1", "comboFields2"}, {}, {"btnAdd", "btnRemove"}, {}}},
        {"TfrmPage16", {{}, {"comboFields", "comboConditions", "lstSearchFields"}, {}, {"btnAdd", "btnRemove"}, {}}},
        {"TfrmPage19", {{}, {"grdColumnProperties"}, {}, {}, {"Caption:", "Width:"}}},
        {"TfrmPage21", {{}, {"comboFields"}, {}, {}, {}}},
    };
    return table;
}

}  // namespace

const PageControls& ControlsOf(const std::string& form) {
    static const PageControls kNone;
    auto it = Table().find(form);
    return it == Table().end() ? kNone : it->second;
}

bool IsTextControl(const PageControls& controls, const std::string& name) {
    for (const std::string& text : controls.texts)
        if (text == name) return true;
    for (const std::string& prefix : controls.textPrefixes)
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::string NameList(const std::vector<std::string>& names) {
    if (names.empty()) return "none";
    std::string list;
    for (const std::string& name : names) {
        if (!list.empty()) list += ", ";
        list += name;
        if (!name.empty() && name.back() == ':') list += "<key>";
    }
    return list;
}

const std::vector<std::string>& PageButtons() {
    static const std::vector<std::string> buttons{"btnNext", "btnPrevious", "btnFinish", "btnCancel"};
    return buttons;
}

}  // namespace tessaro::wizards
