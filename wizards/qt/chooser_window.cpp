#include "wizards/qt/chooser_window.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "wizards/wizard_steps.h"

// The pictures live in a static library, whose resources are registered by hand (and only
// outside any namespace).
static void RegisterChooserPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace tessaro::wizards {

namespace {

// A panel that starts its wizard when it, its picture or either of its labels is clicked
// (the labels pass their clicks on to the panel).
class WizardPanel : public QFrame {
public:
    WizardPanel(QWidget* parent, std::function<void()> start) : QFrame(parent), start_(std::move(start)) {
        setFrameShape(QFrame::StyledPanel);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->pos())) start_();
    }

private:
    std::function<void()> start_;
};

struct PanelText {
    const char* name;
    const char* title;
    const char* text;
    const char* picture;
    int wizard;
    bool visible;
};

constexpr PanelText kPanels[] = {
    {"Panel1", "Data Entry Application", "Build a simple form for entry of data into your database.",
     ":/wizards/data-entry.png", 0, true},
    {"Panel2", "Data Drill-Down Application",
     "Develop a drill-down browser for your data, based on a set of database queries.", ":/wizards/drill-down.png", 1,
     true},
    {"Panel3", "Data Maintenance Application",
     "Create an application for adding, deleting and modifying data in a table.", ":/wizards/maintenance.png", 2,
     false},
};

}  // namespace

ChooserWindow::ChooserWindow(CatalogClient& catalog, std::string templatesDir)
    : catalog_(catalog), templatesDir_(std::move(templatesDir)) {
    RegisterChooserPictures();
    setWindowTitle("Tessaro Web Application Wizards");
    setFixedSize(453, 239);
    setFont(FormFont(12, false));
    auto* picture = new QLabel(this);
    picture->setObjectName("imgWizards");
    picture->setPixmap(QPixmap(":/wizards/chooser.png"));
    picture->setGeometry(8, 8, 96, 223);
    auto* heading = new QLabel("Tessaro Web Application Wizards", this);
    heading->setObjectName("lblHeading");
    heading->setFont(FormFont(24, true));
    heading->setWordWrap(true);
    heading->setGeometry(116, 6, 329, 62);
    int y = 74;
    for (const PanelText& p : kPanels) {
        const int n = p.wizard;
        auto* panel = new WizardPanel(this, [this, n] {
            if (StartWizard(n)) hide();
        });
        panel->setObjectName(p.name);
        // The hidden panel lies outside the form, as it was designed.
        panel->setGeometry(116, p.visible ? y : 400, 329, 74);
        panel->setVisible(p.visible);
        if (p.visible) y += 84;
        auto* icon = new QLabel(panel);
        icon->setPixmap(QPixmap(p.picture));
        icon->setGeometry(8, 17, 40, 40);
        auto* title = new QLabel(p.title, panel);
        title->setFont(FormFont(13, true));
        title->setGeometry(58, 6, 263, 18);
        auto* text = new QLabel(p.text, panel);
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setGeometry(58, 26, 263, 44);
    }
}

ChooserWindow::~ChooserWindow() = default;

bool ChooserWindow::StartWizard(int n) {
    page_.reset();
    wizard_.reset();
    wizard_ = CreateWizard(n, dialogs_, catalog_, templatesDir_);
    if (!wizard_) {
        dialogs_.Error(kNotAvailable);
        show();
        return false;
    }
    wizard_->Start();
    wizard_->Next(-1);
    page_ = std::make_unique<PageWindow>(*wizard_, [this] { show(); });
    page_->Redraw();
    page_->show();
    return true;
}

}  // namespace tessaro::wizards
