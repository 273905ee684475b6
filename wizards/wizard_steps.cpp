#include "wizards/wizard_steps.h"

#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "platform/path_util.h"
#include "platform/process_environment.h"
#include "wizards/data_entry_wizard.h"
#include "wizards/drill_down_wizard.h"

namespace tessaro::wizards {

std::string InitialOutputDirectory(CatalogClient& catalog) {
    TServerProfile profile;
    catalog.RequestServerSettings(profile);
    if (!profile.DocumentRoot.empty() && platform::GetFileKind(profile.DocumentRoot) == platform::FileKind::Directory)
        return profile.DocumentRoot;
    std::string home = platform::EnvironmentValue("HOME");
    return home.empty() ? "/" : home;
}

void FillDataSourceList(WizardPage& page, CatalogClient& catalog, Dialogs& dialogs) {
    std::vector<std::string> sources;
    catalog.RequestDataSources(sources);
    if (sources.empty())
        dialogs.Information(
            "There are no System ODBC Data Sources registered on this computer. Even if you are developing on a remote "
            "server you need to setup local system ODBC data sources in order to use the wizard.");
    page.Fill("lstDatasources", sources);
}

bool WriteApplication(TWizardManager& wizard, const GenerationResult& result, const std::string& outputDir,
                      const std::string& templatesDir, std::vector<std::string>& written, std::string& message) {
    if (!result.error.empty()) {
        wizard.GetDialogs().Error(result.error);
        message = kCouldNotGenerate;
        return false;
    }
    written.clear();
    for (const GeneratedFile& file : result.files) {
        std::string name = platform::JoinPath(outputDir, file.name);
        if (!wizard.WriteOutputFile(file.text, outputDir, message, name)) return false;
        written.push_back(name);
    }
    try {
        for (const std::string& picture : result.pictures)
            CopyFileToDirectory(platform::JoinPath(templatesDir, picture), outputDir);
    } catch (const std::exception& e) {
        wizard.GetDialogs().Error(e.what());
        message = kCouldNotGenerate;
        return false;
    }
    return true;
}

std::string CompletionText(const std::string& templatesDir, const std::string& file,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    std::ifstream in(platform::JoinPath(templatesDir, file), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return FillCompletionText(text.str(), values);
}

FormFieldsRef FormFieldsOf(TWizardManager& wizard) {
    if (auto* drill = dynamic_cast<TDrillDownWizManager*>(&wizard))
        return {&drill->Model().SearchFields, &drill->Model().FieldProperties};
    if (auto* entry = dynamic_cast<TDataEntryWizManager*>(&wizard))
        return {&entry->Model().ChosenFields, &entry->Model().FieldProperties};
    return {};
}

std::string ShortDirectoryLabel(const std::string& path) {
    constexpr std::size_t kLongest = 30, kTail = 28;
    if (path.size() <= kLongest) return path;
    std::string tail = path.substr(path.size() - kTail);
    // A last folder name longer than the tail keeps its end rather than leaving "/..." alone.
    std::size_t separator = tail.find_first_of("/\\");
    if (separator != std::string::npos) tail = tail.substr(separator);
    // "/" + "/..." would double the separator of an absolute path.
    std::string head = path[0] == '/' || path[0] == '\\' ? std::string(1, path[0]) + "..." : path.substr(0, 1) + "/...";
    return head + tail;
}

std::unique_ptr<TWizardManager> CreateWizard(int n, Dialogs& dialogs, CatalogClient& catalog,
                                             const std::string& templatesDir) {
    if (n == 0) return std::make_unique<TDataEntryWizManager>(dialogs, catalog, templatesDir);
    if (n == 1) return std::make_unique<TDrillDownWizManager>(dialogs, catalog, templatesDir);
    return nullptr;
}

}  // namespace tessaro::wizards
