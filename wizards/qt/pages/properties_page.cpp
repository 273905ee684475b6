// The form settings of the chosen fields; a double click opens a field's properties.
#include <QLabel>
#include <QTableWidget>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawPropertiesPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    body.Label("Double-click a field to change its properties.", QRect(L, T, W, 18));
    QTableWidget* grid = body.Grid("grdFieldProperties", QRect(L, T + 20, W, B - T - 20));
    QObject::connect(grid, &QTableWidget::cellDoubleClicked, grid,
                     [&body](int row, int) { body.EditProperties(row + 1); });
}

}  // namespace tessaro::wizards
