// How the template pages join the engine: their actions and the grammar tables.
#pragma once

class CRequestDispatcher;
struct EngineSubsystems;

// "Query" runs templates and is the default action (unless the diagnostic echo
// page took that place first); "GetGraphic" serves report graphics; "Insert" and
// "Update" write a posted form into a table.
void RegisterTemplateActions(CRequestDispatcher& dispatcher);
// Puts the template interpreter's start-up and shutdown steps into the engine's hooks.
void InstallTemplateSubsystems(EngineSubsystems& subsystems);
// The same for the engine's own hooks (TheEngineSubsystems); call before start-up.
void InstallTemplateSubsystems();
