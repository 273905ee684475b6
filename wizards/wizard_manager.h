// The controller both wizards share: it owns the pages and walks through them. Next
// validates the page and hands its data on; Back hands it on without validating; Cancel
// asks first; Finish checks, generates and shows the completion page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wizards/dialogs.h"
#include "wizards/wizard_page.h"

namespace tessaro::wizards {

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
    virtual bool CheckComplete(std::string& message) = 0;
    virtual bool Generate(std::string& message) = 0;
    virtual void ShowCompletion(int pageIndex) = 0;

    WizardPage& AddPage(const std::string& form, const std::string& heading);
    void Show(int pageIndex) { current_ = pageIndex; }

    std::string wizardTitle_;

private:
    void InitPages();

    Dialogs& dialogs_;
    std::vector<std::unique_ptr<WizardPage>> pages_;
    int current_ = -1;
    bool ended_ = false;
};

inline constexpr const char* kCouldNotGenerate =
    "The wizards could not generate the files necessary for your application.";

}  // namespace tessaro::wizards
