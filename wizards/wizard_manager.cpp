#include "wizards/wizard_manager.h"

#include <fstream>

#include "platform/file_system.h"
#include "platform/home.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

void TWizardManager::Start() {
    CreatePages();
    InitPages();
}

WizardPage& TWizardManager::AddPage(const std::string& form, const std::string& heading) {
    pages_.push_back(std::make_unique<WizardPage>());
    WizardPage& page = *pages_.back();
    page.Form = form;
    page.Heading = heading;
    return page;
}

void TWizardManager::InitPages() {
    for (int i = 0; i < PageCount(); ++i) {
        WizardPage& page = Page(i);
        page.Title = wizardTitle_;
        page.PageIndex = i;
        page.NextIndex = i + 1;
        page.PreviousIndex = i - 1;
        InitPage(page);
    }
}

void TWizardManager::Next(int i) {
    if (ended_) return;
    if (i == -1) {
        Show(0);
        return;
    }
    if (i >= PageCount() - 1) return;
    std::string message;
    if (!Validate(Page(i), message)) {
        dialogs_.Information(message);
        return;
    }
    int target = Page(i).NextIndex;
    TransferPage(i, target);
    // The completion page is only ever shown by a successful finish.
    if (Page(target).IsFinalPage) {
        Finish(i);
        return;
    }
    Show(target);
}

void TWizardManager::Back(int i) {
    if (ended_ || i <= 0) return;
    int target = Page(i).PreviousIndex;
    TransferPage(i, target);
    Show(target);
}

void TWizardManager::Cancel(int, bool ask) {
    if (ended_) return;
    if (ask && !dialogs_.YesNo("Are you sure you want to exit the wizard ?")) return;
    ended_ = true;
    current_ = -1;
}

void TWizardManager::Finish(int) {
    if (ended_) return;
    const WizardFinish finish = Finishing();
    std::string message;
    if (!CheckComplete(finish, message) || !Generate(finish, message)) {
        dialogs_.Information(message);
        return;
    }
    ShowCompletion(finish);
}

bool TWizardManager::CheckComplete(const WizardFinish& finish, std::string& message) {
    message.clear();
    for (const WizardFinish::Check& check : finish.checks)
        if (check.missing) message = check.message;
    return message.empty();
}

bool TWizardManager::Generate(const WizardFinish& finish, std::string& message) {
    std::vector<std::string> written;
    if (!WriteApplication(*this, finish.generate(), finish.outputDirectory, finish.templatesDir, written, message))
        return false;
    for (std::size_t i = 0; i < finish.written.size() && i < written.size(); ++i) *finish.written[i].name = written[i];
    return true;
}

void TWizardManager::ShowCompletion(const WizardFinish& finish) {
    for (int i = 0; i < PageCount(); ++i) Page(i).Buttons[kFinishButton] = true;
    std::vector<std::pair<std::string, std::string>> values;
    for (const WizardFinish::WrittenFile& file : finish.written) values.emplace_back(file.marker, *file.name);
    values.emplace_back("#HTMLFileName#", finish.firstPage);
    Page(finish.completionPage).Texts["reditExplanation"] =
        CompletionText(finish.templatesDir, finish.completionFile, values);
    Show(finish.completionPage);
}

void TWizardManager::FinishButton(int i) {
    if (Page(i).IsFinalPage)
        Cancel(i, false);
    else
        Finish(i);
}

bool TWizardManager::WriteOutputFile(const std::string& text, const std::string& directory, std::string& message,
                                     std::string& fileName) {
    message.clear();
    if (platform::GetFileKind(directory) != platform::FileKind::Directory &&
        platform::EnsureDirectory(directory) != 0) {
        dialogs_.Error("An error occured while generating the files: Unable to create directory " + directory);
        message = kCouldNotGenerate;
        return false;
    }
    if (platform::GetFileKind(fileName) != platform::FileKind::Missing &&
        !dialogs_.YesNo("Wizard is about to generate a file that already exists: " + fileName +
                        ". Would you like to overwrite this file ?")) {
        std::optional<std::string> chosen = dialogs_.SaveFile(fileName);
        if (!chosen) {
            message = kCouldNotGenerate;
            return false;
        }
        fileName = *chosen;
    }
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        dialogs_.Error("An error occured while generating the files: Cannot create file " + fileName);
        message = kCouldNotGenerate;
        return false;
    }
    return true;
}

}  // namespace tessaro::wizards
