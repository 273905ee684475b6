#include "wizards/qt/page_body.h"

#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace tessaro::wizards {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont FormFont(int pixels, bool bold) {
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

std::vector<std::string> GridCells(const std::string& row) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab; (tab = row.find('\t', start)) != std::string::npos; start = tab + 1)
        cells.push_back(row.substr(start, tab - start));
    cells.push_back(row.substr(start));
    return cells;
}

PageBody::PageBody(WizardPage& page, QWidget* widget, std::function<void(const std::string&)> press,
                   std::function<void(int)> editProperties)
    : page_(page), widget_(widget), press_(std::move(press)), editProperties_(std::move(editProperties)) {}

void PageBody::ReadBack() {
    for (auto& read : readers_) read();
}

QLabel* PageBody::Heading(const QString& text) {
    QLabel* heading = Label(text, QRect(kLeft, 8, kWidth, kTop - 14));
    heading->setObjectName("lblHeading");
    // Two lines fit at the forms' 24 pixels; a longer heading is set smaller.
    QFont font = FormFont(24, true);
    QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, kWidth, 1000), Qt::TextWordWrap, text);
    if (needed.height() > heading->height()) font = FormFont(18, true);
    heading->setFont(font);
    return heading;
}

QLabel* PageBody::Label(const QString& text, QRect at) {
    auto* label = new QLabel(text, widget_);
    label->setGeometry(at);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* PageBody::Edit(const std::string& name, QRect at) {
    auto* edit = new QLineEdit(Q(page_.Texts[name]), widget_);
    edit->setObjectName(Q(name));
    edit->setGeometry(at);
    OnReadBack([this, edit, name] { page_.Texts[name] = edit->text().toStdString(); });
    return edit;
}

QPlainTextEdit* PageBody::Memo(const std::string& name, QRect at) {
    auto* memo = new QPlainTextEdit(Q(page_.Texts[name]), widget_);
    memo->setObjectName(Q(name));
    memo->setGeometry(at);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    OnReadBack([this, memo, name] { page_.Texts[name] = memo->toPlainText().toStdString(); });
    return memo;
}

QRadioButton* PageBody::Radio(const std::string& name, const QString& text, QRect at) {
    auto* radio = new QRadioButton(text, widget_);
    radio->setObjectName(Q(name));
    radio->setGeometry(at);
    radio->setChecked(page_.Checks[name]);
    OnReadBack([this, radio, name] { page_.Checks[name] = radio->isChecked(); });
    return radio;
}

QComboBox* PageBody::Combo(const std::string& name, QRect at) {
    auto* combo = new QComboBox(widget_);
    combo->setObjectName(Q(name));
    combo->setGeometry(at);
    for (const std::string& item : page_.Lists[name]) combo->addItem(Q(item));
    const std::vector<std::size_t>& selected = page_.Selections[name];
    combo->setCurrentIndex(selected.empty() ? -1 : static_cast<int>(selected.front()));
    OnReadBack([this, combo, name] {
        std::vector<std::size_t>& selection = page_.Selections[name];
        selection.clear();
        if (combo->currentIndex() >= 0) selection.push_back(static_cast<std::size_t>(combo->currentIndex()));
    });
    return combo;
}

QListWidget* PageBody::List(const std::string& name, QRect at, bool multiSelect, QListWidget* list) {
    if (!list) list = new QListWidget(widget_);
    list->setObjectName(Q(name));
    list->setGeometry(at);
    list->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    const std::vector<std::string>& items = page_.Lists[name];
    for (const std::string& item : items) list->addItem(Q(item));
    for (std::size_t i : page_.Selections[name])
        if (i < items.size()) {
            list->item(static_cast<int>(i))->setSelected(true);
            list->setCurrentRow(static_cast<int>(i), QItemSelectionModel::Current);
        }
    OnReadBack([this, list, name] {
        std::vector<std::size_t>& selection = page_.Selections[name];
        selection.clear();
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->isSelected()) selection.push_back(static_cast<std::size_t>(i));
    });
    return list;
}

QTableWidget* PageBody::Grid(const std::string& name, QRect at) {
    const std::vector<std::string>& rows = page_.Lists[name];
    std::vector<std::string> header = rows.empty() ? std::vector<std::string>{} : GridCells(rows.front());
    auto* grid = new QTableWidget(rows.empty() ? 0 : static_cast<int>(rows.size() - 1), static_cast<int>(header.size()),
                                  widget_);
    grid->setObjectName(Q(name));
    grid->setGeometry(at);
    QStringList labels;
    for (const std::string& cell : header) labels << Q(cell);
    grid->setHorizontalHeaderLabels(labels);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::vector<std::string> cells = GridCells(rows[r]);
        for (std::size_t c = 0; c < cells.size() && c < header.size(); ++c)
            grid->setItem(static_cast<int>(r - 1), static_cast<int>(c), new QTableWidgetItem(Q(cells[c])));
    }
    grid->resizeColumnsToContents();
    return grid;
}

QPushButton* PageBody::Button(const std::string& name, const QString& text, QRect at) {
    auto* button = new QPushButton(text, widget_);
    button->setObjectName(Q(name));
    button->setGeometry(at);
    QObject::connect(button, &QPushButton::clicked, widget_, [this, name] { Press(name); });
    return button;
}

}  // namespace tessaro::wizards
