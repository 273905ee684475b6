// Steps both wizards take alike: the directory page's starting folder, the data source list,
// writing the generated application with its pictures, the completion text, and creating a
// wizard by its number.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "wizards/application_generation.h"
#include "wizards/catalog_client.h"
#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

// The server's document root when that folder exists, else the user's home folder or "/".
std::string InitialOutputDirectory(CatalogClient& catalog);

// Asks for the data sources, says so when there are none, and fills the page's list.
void FillDataSourceList(WizardPage& page, CatalogClient& catalog, Dialogs& dialogs);

// Writes every generated file into the output folder (asking before it writes over one) and
// copies the pictures; `written` gets the names finally used. False with message on failure.
bool WriteApplication(TWizardManager& wizard, const GenerationResult& result, const std::string& outputDir,
                      const std::string& templatesDir, std::vector<std::string>& written, std::string& message);

// The completion page's text from its file in the templates folder, names put in.
std::string CompletionText(const std::string& templatesDir, const std::string& file,
                           const std::vector<std::pair<std::string, std::string>>& values);

// 0 the data-entry wizard, 1 the drill-down wizard; nothing for other numbers.
std::unique_ptr<TWizardManager> CreateWizard(int n, Dialogs& dialogs, CatalogClient& catalog,
                                             const std::string& templatesDir);

// The fields the field-properties dialog edits (the data-entry wizard's chosen fields, the
// drill-down wizard's search fields) and their properties.
struct FormFieldsRef {
    TDBTableFieldsList* fields = nullptr;
    TFieldPropertiesList* properties = nullptr;
};
FormFieldsRef FormFieldsOf(TWizardManager& wizard);

// The directory page's label: a path longer than 30 characters is shown as its first
// character, "/...", and its last 28 characters cut back to start at a separator (kept
// whole when they hold none).
std::string ShortDirectoryLabel(const std::string& path);

inline constexpr const char* kNotAvailable = "The specified wizard is currently not available.";

}  // namespace tessaro::wizards
