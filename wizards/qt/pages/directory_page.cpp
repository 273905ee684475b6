// The folder the application's files go to: a shortened path and the Browse button.
#include <QLabel>
#include <QPushButton>

#include "wizards/qt/pages/pages.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

void DrawDirectoryPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop;
    const std::string& path = body.Page().Texts["lblDirPath"];
    body.Label("The application files will be created in the directory:", QRect(L, T + 8, W, 18));
    QLabel* dir = body.Label(Q(ShortDirectoryLabel(path)), QRect(L, T + 30, W - 91, 25));
    dir->setObjectName("lblDirPath");
    dir->setToolTip(Q(path));
    dir->setFrameShape(QFrame::StyledPanel);
    dir->setFrameShadow(QFrame::Sunken);
    dir->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    dir->setWordWrap(false);
    body.Button("btnBrowse", "Browse", QRect(L + W - 81, T + 30, 81, 25));
    body.Label("Choose Browse to pick another directory or to create a new one.", QRect(L, T + 68, W, 36));
}

}  // namespace tessaro::wizards
