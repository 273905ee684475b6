// The drill-down wizard's welcome: what the three generated pages are for.
#include <QLabel>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawWelcomePage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop;
    body.Heading("Welcome to " + Q(body.Page().Title));
    QLabel* text = body.Label(
        "This wizard builds a drill-down application of three pages over your database:\n\n"
        "    the Search page, where the visitor enters what to look for;\n"
        "    the Result page, which lists the matching rows, each linked to\n"
        "    the Detail page, which shows one row in full.\n\n"
        "Press Next to begin.",
        QRect(L, T, W, PageBody::kBottom - T));
    text->setObjectName("lblWelcome");
}

}  // namespace tessaro::wizards
