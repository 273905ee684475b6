// The search form's fields, each with its matching condition.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawSearchPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    constexpr int kField = 200, kCondition = 170, kButtons = L + W - 81;
    body.Label("Field :", QRect(L, T, kField, 18));
    body.Combo("comboFields", QRect(L, T + 18, kField, 24));
    body.Label("Matching Condition :", QRect(L + kField + 8, T, kCondition, 18));
    body.Combo("comboConditions", QRect(L + kField + 8, T + 18, kCondition, 24));
    body.Button("btnAdd", "&Add", QRect(kButtons, T + 18, 81, 25));
    QListWidget* fields = body.List("lstSearchFields", QRect(L, T + 52, kButtons - L - 8, B - T - 52), false);
    QPushButton* remove = body.Button("btnRemove", "&Remove", QRect(kButtons, T + 52, 81, 25));
    remove->setEnabled(!fields->selectedItems().isEmpty());
    QObject::connect(fields, &QListWidget::itemSelectionChanged, remove,
                     [fields, remove] { remove->setEnabled(!fields->selectedItems().isEmpty()); });
}

}  // namespace tessaro::wizards
