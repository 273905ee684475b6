// How the template pages join the engine: their actions over the engine's template
// services.
#pragma once

class CRequestDispatcher;
struct TemplateServices;

// "Query" runs templates and is the default action (unless the diagnostic echo
// page took that place first); "GetGraphic" serves report graphics; "Insert" and
// "Update" write a posted form into a table. The pages are made over services (not
// owned), which the engine fills in before its first request.
void RegisterTemplateActions(CRequestDispatcher& dispatcher, const TemplateServices& services);
