// What was generated and how to open it, from the completion text.
#include <QTextBrowser>

#include "wizards/qt/pages/pages.h"
#include "wizards/rtf_to_html.h"

namespace tessaro::wizards {

void DrawCompletionPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    auto* text = new QTextBrowser(body.Widget());
    text->setObjectName("reditExplanation");
    text->setGeometry(L, T, W, B - T);
    text->setHtml(Q(RtfToHtml(body.Page().Texts["reditExplanation"])));
}

}  // namespace tessaro::wizards
