// The data source and the login to it.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawDataSourcePage(PageBody& body) {
    constexpr int L = PageBody::kLeft, T = PageBody::kTop, B = PageBody::kBottom;
    body.Label("ODBC Data Sources :", QRect(L, T, 240, 18));
    body.List("lstDatasources", QRect(L, T + 20, 240, B - T - 20), false);
    auto* security = new QGroupBox("Security Information", body.Widget());
    security->setGeometry(L + 252, T + 14, 215, 118);
    constexpr int X = L + 264;
    body.Label("Username:", QRect(X, T + 42, 190, 18));
    body.Edit("txtUsername", QRect(X, T + 60, 190, 24));
    body.Label("Password:", QRect(X, T + 88, 190, 18));
    body.Edit("txtPassword", QRect(X, T + 104, 190, 24))->setEchoMode(QLineEdit::Password);
}

}  // namespace tessaro::wizards
