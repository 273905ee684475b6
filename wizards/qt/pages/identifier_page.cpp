// The column that names one row: the Result page links to the Detail page by it.
#include <QComboBox>
#include <QLabel>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawIdentifierPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop;
    body.Label("Unique Identifier:", QRect(L, T + 8, W, 18));
    body.Combo("comboFields", QRect(L, T + 28, 300, 24));
    body.Label("Each row of the Result page links to its Detail page by this field; pick a field whose value "
               "differs from row to row, such as the table's key.",
               QRect(L, T + 64, W, 54));
}

}  // namespace tessaro::wizards
