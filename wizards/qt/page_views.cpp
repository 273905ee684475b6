#include "wizards/qt/page_views.h"

#include <iterator>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

namespace {

const PageView kViews[] = {
    {"TfrmPage1", DrawNamePage},
    {"TfrmPage12", DrawNamePage},
    {"TfrmPage11", DrawWelcomePage, true},
    {"TfrmPage9B", DrawDirectoryPage},
    {"TfrmPage2", DrawDataSourcePage},
    {"TfrmPage13", DrawDataSourcePage},
    {"TfrmPage3", DrawTablePage},
    {"TfrmPage4", DrawFieldSelectionPage},
    {"TfrmPage10", DrawFieldSelectionPage},
    {"TfrmPage14", DrawFieldSelectionPage},
    {"TfrmPage18", DrawFieldSelectionPage},
    {"TfrmPage20", DrawFieldSelectionPage},
    {"TfrmPage22", DrawFieldSelectionPage},
    {"TfrmPage5", DrawPropertiesPage},
    {"TfrmPage17", DrawPropertiesPage},
    {"TfrmPage6", DrawLookPage},
    {"TfrmPage7", DrawNextPagePage},
    {"TfrmPage8", DrawCompletionPage},
    {"TfrmPage15", DrawJoinsPage},
    {"TfrmPage16", DrawSearchPage},
    {"TfrmPage19", DrawColumnsPage},
    {"TfrmPage21", DrawIdentifierPage},
};

}  // namespace

const PageView* FindPageView(const std::string& form) {
    for (const PageView& view : kViews)
        if (form == view.form) return &view;
    return nullptr;
}

void DrawPage(PageBody& body) {
    const PageView* view = FindPageView(body.Page().Form);
    if (!view || !view->ownHeading) body.Heading(Q(body.Page().Heading));
    if (view) view->build(body);
}

}  // namespace tessaro::wizards
