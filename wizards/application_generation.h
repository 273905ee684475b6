// The template texts of the generated applications, filled from the wizards' models and
// the project's template files (templates/ beside the program).
#pragma once

#include <string>
#include <vector>

#include "wizards/application_models.h"
#include "wizards/code_generator.h"

namespace tessaro::wizards {

struct GeneratedFile {
    std::string name;  // "EntryForm.TSM", ...
    std::string text;
};

struct GenerationResult {
    std::vector<GeneratedFile> files;
    std::vector<std::string> pictures;  // file names in the templates folder to copy along
    std::string error;                  // set when a template file could not be read
};

GenerationResult GenerateDataEntry(DataEntryModel& model, TCodeGenerator& generator, const std::string& templatesDir);

// Fills ResultTables/ResultJoins and DetailTables/DetailJoins through the join coverage
// check; false when the chosen joins do not connect the tables of either page.
bool CheckDrillDownJoins(DrillDownModel& model, bool* resultsCovered = nullptr, bool* detailCovered = nullptr);

GenerationResult GenerateDrillDown(DrillDownModel& model, TCodeGenerator& generator, const std::string& templatesDir);

// The completion text with the written files' names put in (as text: \ { and } escaped).
std::string FillCompletionText(const std::string& rtf, const std::vector<std::pair<std::string, std::string>>& values);

// Copies source into the target folder (or to the target file) in 8192-byte chunks; throws
// std::runtime_error "Cannot open file <name>" / "Cannot create file <name>".
void CopyFileToDirectory(const std::string& source, const std::string& target);

}  // namespace tessaro::wizards
