// The one table the data-entry form fills.
#include <QLabel>
#include <QListWidget>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawTablePage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    body.Label("Database Tables :", QRect(L, T, W, 18));
    body.List("lstTables", QRect(L, T + 20, W, B - T - 20), false);
}

}  // namespace tessaro::wizards
