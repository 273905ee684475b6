// Which layout draws which page: one builder per page kind (the page model's Form), kept in
// one table so that a new page kind needs one line here and one small file in pages/.
#pragma once

#include <string>

#include "wizards/qt/page_body.h"

namespace tessaro::wizards {

using PageBuilder = void (*)(PageBody& body);

struct PageView {
    const char* form;
    PageBuilder build;
    bool ownHeading = false;  // the builder sets the heading itself
};

// The view of a page kind, or null when the kind has no layout of its own.
const PageView* FindPageView(const std::string& form);

// Draws the heading and the controls of the page; a kind without a layout shows its heading.
void DrawPage(PageBody& body);

}  // namespace tessaro::wizards
