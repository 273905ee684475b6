// The joins between the tables involved: the list, two columns to join, Add and Remove.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawJoinsPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    auto* group = new QGroupBox("Table Relationships", body.Widget());
    group->setGeometry(L, T - 4, W, B - T + 4);
    constexpr int X = L + 10, IW = W - 20, kCombo = 170;
    QListWidget* joins = body.List("lstJoins", QRect(X, T + 16, IW, 106), false);
    body.Combo("comboFields1", QRect(X, T + 130, kCombo, 24));
    body.Label("=", QRect(X + kCombo + 4, T + 134, 12, 18))->setAlignment(Qt::AlignCenter);
    body.Combo("comboFields2", QRect(X + kCombo + 20, T + 130, kCombo, 24));
    body.Button("btnAdd", "&Add", QRect(X + IW - 81, T + 130, 81, 25));
    QPushButton* remove = body.Button("btnRemove", "&Remove", QRect(X + IW - 81, T + 162, 81, 25));
    // Remove acts on the selected join, so it is offered only while one is selected.
    remove->setEnabled(!joins->selectedItems().isEmpty());
    QObject::connect(joins, &QListWidget::itemSelectionChanged, remove,
                     [joins, remove] { remove->setEnabled(!joins->selectedItems().isEmpty()); });
}

}  // namespace tessaro::wizards
