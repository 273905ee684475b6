// The controller both wizards share: it owns the pages and walks through them. Next
// validates the page and hands its data on; Back hands it on without validating; Cancel
// asks first; Finish checks, generates and shows the completion page.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "wizards/application_generation.h"
#include "wizards/dialogs.h"
#include "wizards/wizard_page.h"

namespace tessaro::wizards {

// One wizard's finish as a table: the checks of its answers, made with the table, in order
// (when several fail, the last one's message is shown), the application it generates and
// where it goes, the model's fields that take the names of the files written (in the order
// generated), each with its marker in the completion text, and the completion page.
struct WizardFinish {
    struct Check {
        bool missing;
        const char* message;
    };
    struct WrittenFile {
        std::string* name;
        const char* marker;
    };

    std::vector<Check> checks;
    std::function<GenerationResult()> generate;
    const std::string& outputDirectory;
    const std::string& templatesDir;
    std::vector<WrittenFile> written;
    int completionPage;
    const char* completionFile;  // in the templates folder
    const char* firstPage;       // the application's first page, the completion text's #HTMLFileName#
};

class TWizardManager {
public:
    explicit TWizardManager(Dialogs& dialogs) : dialogs_(dialogs) {}
    virtual ~TWizardManager() = default;
    TWizardManager(const TWizardManager&) = delete;
    TWizardManager& operator=(const TWizardManager&) = delete;

    // Creates and initialises the pages; call once after construction.
    void Start();

    virtual void Next(int pageIndex);
    virtual void Back(int pageIndex);
    virtual void Cancel(int pageIndex, bool ask);
    virtual void Finish(int pageIndex);
    // The Finish button: ends the wizard on the completion page, else finishes.
    void FinishButton(int pageIndex);

    const std::string& WizardTitle() const { return wizardTitle_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    WizardPage& Page(int i) { return *pages_.at(static_cast<std::size_t>(i)); }
    // The page on show, or -1 once the wizard has ended.
    int CurrentPage() const { return current_; }
    bool Ended() const { return ended_; }
    Dialogs& GetDialogs() { return dialogs_; }

    // Writes text to fileName in directory (created when missing), asking before it writes
    // over a file; the author may pick another name. False with message on failure.
    bool WriteOutputFile(const std::string& text, const std::string& directory, std::string& message,
                         std::string& fileName);

protected:
    virtual void CreatePages() = 0;
    virtual void InitPage(WizardPage& page) = 0;
    virtual bool Validate(WizardPage& page, std::string& message) = 0;
    virtual void TransferPage(int from, int& to) = 0;
    // What Finish checks, generates and shows; made when Finish runs, its checks with it.
    virtual WizardFinish Finishing() = 0;

    WizardPage& AddPage(const std::string& form, const std::string& heading);
    void Show(int pageIndex) { current_ = pageIndex; }

    std::string wizardTitle_;

private:
    void InitPages();
    bool CheckComplete(const WizardFinish& finish, std::string& message);
    bool Generate(const WizardFinish& finish, std::string& message);
    void ShowCompletion(const WizardFinish& finish);

    Dialogs& dialogs_;
    std::vector<std::unique_ptr<WizardPage>> pages_;
    int current_ = -1;
    bool ended_ = false;
};

inline constexpr const char* kCouldNotGenerate =
    "The wizards could not generate the files necessary for your application.";

}  // namespace tessaro::wizards
