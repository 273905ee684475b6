// How the template pages join the engine: their actions, the grammar tables and the
// extension tags, in the order of the engine's start-up and shutdown.
#pragma once

class CRequestDispatcher;

// "Query" runs templates and is the default action (unless the diagnostic echo
// page took that place first); "GetGraphic" serves report graphics; "Insert" and
// "Update" write a posted form into a table.
void RegisterTemplateActions(CRequestDispatcher& dispatcher);
// Start-up: pages take their data sources from the connection pool, the actions are
// registered and the grammar tables loaded.
void StartTemplateInterpreter(CRequestDispatcher& dispatcher);
// Start-up, once the mail spooler stands: the extension tag libraries.
void StartExtensionTags();
// Shutdown: grammar tables, extension tags and the report engine's mutex go.
void StopTemplateInterpreter();
