// What follows a submission, and who is mailed the entries.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

void DrawNextPagePage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop;
    body.Radio("RadioWizardGenerated", "Wizard-generated page", QRect(L, T, W, 20));
    QRadioButton* existing =
        body.Radio("RadioExistingPage", "Existing page. Enter the full URL of the final page:", QRect(L, T + 20, W, 20));
    QLineEdit* url = body.Edit("txtNextPage", QRect(L + 20, T + 44, W - 20, 24));
    url->setEnabled(existing->isChecked());
    QObject::connect(existing, &QRadioButton::toggled, url, &QLineEdit::setEnabled);
    body.Label("Mail each entry to (address):", QRect(L, T + 86, 190, 18));
    body.Edit("txtToEmailAddress", QRect(L + 196, T + 82, W - 196, 24));
    body.Label("Sender of the mail (address):", QRect(L, T + 120, 190, 18));
    body.Edit("txtFromEmailAddress", QRect(L + 196, T + 116, W - 196, 24));
    body.Label("Leave the first address empty to send no mail.", QRect(L, T + 152, W, 18));
}

}  // namespace tessaro::wizards
