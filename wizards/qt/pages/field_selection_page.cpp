// Two lists and four buttons that move entries between them: the fields of a form, the
// columns of a result or detail page, the tables involved.
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "wizards/qt/pages/pages.h"

namespace tessaro::wizards {

namespace {

// The space key moves the selected entries, as the move button beside the list does.
class MoveList : public QListWidget {
public:
    MoveList(QWidget* parent, std::function<void()> move) : QListWidget(parent), move_(std::move(move)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space)
            move_();
        else
            QListWidget::keyPressEvent(event);
    }

private:
    std::function<void()> move_;
};

void Fill(PageBody& body, const std::string& name, QRect at, const std::string& moveButton) {
    auto* list = new MoveList(body.Widget(), [&body, moveButton] { body.Press(moveButton); });
    body.List(name, at, true, list);
    QObject::connect(list, &QListWidget::itemDoubleClicked, list, [&body, moveButton] { body.Press(moveButton); });
}

}  // namespace

void DrawFieldSelectionPage(PageBody& body) {
    constexpr int L = PageBody::kLeft, W = PageBody::kWidth, T = PageBody::kTop, B = PageBody::kBottom;
    WizardPage& page = body.Page();
    const bool tables = page.Form == "TfrmPage14";
    constexpr int kListWidth = 196, kGap = W - 2 * kListWidth;
    const int right = L + W - kListWidth;
    body.Label(tables ? "Available Tables :" : "Available Fields :", QRect(L, T, kListWidth, 18));
    body.Label(tables ? "Tables Involved :" : "Selected Fields :", QRect(right, T, kListWidth, 18));
    Fill(body, "lstFields", QRect(L, T + 20, kListWidth, B - T - 20), "btnAdd");
    Fill(body, "lstSelectedFields", QRect(right, T + 20, kListWidth, B - T - 20), "btnRemove");
    const bool canAdd = !page.Lists["lstFields"].empty();
    const bool canRemove = !page.Lists["lstSelectedFields"].empty();
    const int x = L + kListWidth + (kGap - 51) / 2;
    body.Button("btnAdd", "-->", QRect(x, T + 36, 51, 25))->setEnabled(canAdd);
    body.Button("btnAddAll", "->>", QRect(x, T + 68, 51, 25))->setEnabled(canAdd);
    body.Button("btnRemove", "<--", QRect(x, T + 116, 51, 25))->setEnabled(canRemove);
    body.Button("btnRemoveAll", "<<-", QRect(x, T + 148, 51, 25))->setEnabled(canRemove);
}

}  // namespace tessaro::wizards
