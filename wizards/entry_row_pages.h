// The parts of the data-entry application that work on rows already stored: the entry form
// opened on one row (found by its key in the URL) to change it, the template that stores a
// posted form as a new row or as the changes of that row, and the list of every row with
// a link to change each. Without a primary key the rows can be listed but not changed.
#pragma once

#include <string>

#include "wizards/application_models.h"
#include "wizards/code_generator.h"

namespace tessaro::wizards {

// Names the generated templates share.
inline constexpr const char* kEntryRowQuery = "EntryRow";
inline constexpr const char* kEntriesQuery = "Entries";
inline constexpr const char* kEntryActionField = "EntryAction";
inline constexpr const char* kEntryListPage = "EntryList.TSM";

// The query reading the row named by the key's URL parameters; nothing without a key.
Lines EntryRowQuery(const DataEntryModel& model);

// The form's controls: with a key, those of the row named in the URL (the key and the
// change marker as hidden fields) and otherwise the controls for a new entry.
Lines EntryFormControls(DataEntryModel& model);
// The hidden fields outside those branches: all of them without a key, none with one (each
// branch then has its own).
Lines EntryFormHiddenFields(DataEntryModel& model);

// The form fields a posted entry may store: the chosen columns and the key.
std::string StoredFieldNames(const DataEntryModel& model);

// The list page's columns: every chosen column and the key.
std::string ListedColumns(const DataEntryModel& model);
// " ORDER BY <key>" or nothing.
std::string ListOrder(const DataEntryModel& model);
// The heading cells and the cells of one row of the list (inside an output block).
std::string ListHeadings(DataEntryModel& model);
std::string ListCells(const DataEntryModel& model);

}  // namespace tessaro::wizards
