// The process-wide template grammar tables: built once at start-up, read by
// every request's lexer and parser afterwards.
#pragma once

class SSLexStateTables;
class SSParseTables;

// Loads both tables from the compiled-in resources; false when they are missing.
// Later calls do nothing and return true.
bool LoadTemplateParserTables();
void FreeTemplateParserTables();
// Null before a successful load (and after the tables were freed).
const SSLexStateTables* TemplateLexTables();
const SSParseTables* TemplateParseTables();
