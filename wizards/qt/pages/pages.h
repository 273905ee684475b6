// The layouts of the wizards' pages, one family a file; page_views.cpp maps the page kinds
// to them. Each places its controls below the heading, inside the page body.
#pragma once

#include "wizards/qt/page_body.h"

namespace tessaro::wizards {

void DrawNamePage(PageBody& body);           // TfrmPage1, TfrmPage12
void DrawWelcomePage(PageBody& body);        // TfrmPage11
void DrawDirectoryPage(PageBody& body);      // TfrmPage9B
void DrawDataSourcePage(PageBody& body);     // TfrmPage2, TfrmPage13
void DrawTablePage(PageBody& body);          // TfrmPage3
void DrawFieldSelectionPage(PageBody& body); // TfrmPage4 and its kinds 10, 14, 18, 20, 22
void DrawPropertiesPage(PageBody& body);     // TfrmPage5, TfrmPage17
void DrawLookPage(PageBody& body);           // TfrmPage6
void DrawNextPagePage(PageBody& body);       // TfrmPage7
void DrawCompletionPage(PageBody& body);     // TfrmPage8
void DrawJoinsPage(PageBody& body);          // TfrmPage15
void DrawSearchPage(PageBody& body);         // TfrmPage16
void DrawColumnsPage(PageBody& body);        // TfrmPage19
void DrawIdentifierPage(PageBody& body);     // TfrmPage21

}  // namespace tessaro::wizards
