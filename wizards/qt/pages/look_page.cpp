// The entry page's style and the HTML above and below its form.
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawLookPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    body.Radio("radioTabularStyle", "Tabular form using HTML 3.0 tables", QRect(L, T, W, 20));
    body.Radio("radioPreformatedStyle", "Preformatted form", QRect(L, T + 20, W, 20));
    body.Radio("radioSimpleStyle", "Simple unformated form (good for customization)", QRect(L, T + 40, W, 20));
    constexpr int kMemoWidth = (W - 8) / 2;
    body.Label("Header :", QRect(L, T + 64, kMemoWidth, 18));
    body.Label("Footer :", QRect(L + W - kMemoWidth, T + 64, kMemoWidth, 18));
    body.Memo("memoHeader", QRect(L, T + 82, kMemoWidth, B - T - 82));
    body.Memo("memoFooter", QRect(L + W - kMemoWidth, T + 82, kMemoWidth, B - T - 82));
}

}  // namespace tessaro::wizards
