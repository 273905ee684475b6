// The application's name.
#include <QLabel>
#include <QLineEdit>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawNamePage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop;
    body.Label("Name of your application:", QRect(L, T + 8, W, 18));
    QLineEdit* name = body.Edit("txtApplicationName", QRect(L, T + 28, W, 24));
    name->setFocus();
    body.Label("The name becomes the title of the generated pages.", QRect(L, T + 64, W, 36));
}

}  // namespace tessaro::wizards
