// The header and width of each result column, edited in a grid; the column's key stays.
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawColumnsPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    WizardPage& page = body.Page();
    body.Label("Edit the header and the width of each column of the Result page.", QRect(L, T, W, 18));
    QTableWidget* grid = body.Grid("grdColumnProperties", QRect(L, T + 20, W, B - T - 20));
    grid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    if (grid->columnCount() == 3) {
        grid->horizontalHeader()->setStretchLastSection(false);
        grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
        grid->setColumnWidth(0, 170);
        grid->setColumnWidth(2, 60);
    }
    // The cells the author edits are kept in the page's texts under "Caption:<key>" and
    // "Width:<key>"; the grid shows them over the rows it was filled with.
    const char* kEdited[] = {"", "Caption:", "Width:"};
    for (int r = 0; r < grid->rowCount(); ++r) {
        QTableWidgetItem* key = grid->item(r, 0);
        if (!key) continue;
        key->setFlags(key->flags() & ~Qt::ItemIsEditable);
        for (int c = 1; c < 3 && c < grid->columnCount(); ++c) {
            auto text = page.Texts.find(kEdited[c] + key->text().toStdString());
            if (text != page.Texts.end()) grid->setItem(r, c, new QTableWidgetItem(Q(text->second)));
        }
    }
    body.OnReadBack([&page, grid, kEdited] {
        for (int r = 0; r < grid->rowCount(); ++r) {
            QTableWidgetItem* key = grid->item(r, 0);
            if (!key) continue;
            for (int c = 1; c < 3 && c < grid->columnCount(); ++c) {
                QTableWidgetItem* cell = grid->item(r, c);
                page.Texts[kEdited[c] + key->text().toStdString()] = cell ? cell->text().toStdString() : "";
            }
        }
    });
}

}  // namespace tessaro::wizards
