// Builds CREATE TABLE statements whose column types are the data source's own type names,
// from column bindings, from a model cursor's result columns, or from statement text with
// portable type words in angle brackets ("<INTEGER>", "<VARCHAR(30)>"), and runs them.
//
// The statement grows as needed (no fixed buffer), and names are quoted with the connection's
// identifier quote mark doubled inside them, so that no name can end its quotes early.
#pragma once

#include <string>
#include <vector>

#include "database/odbc/odbc_catalog_records.h"
#include "database/odbc/odbc_cursor.h"

class odbcTABLECREATOR : public odbcCURSOR {
public:
    explicit odbcTABLECREATOR(odbcCONNECT* conn);
    ~odbcTABLECREATOR() override;
    odbcTABLECREATOR(const odbcTABLECREATOR&) = delete;
    odbcTABLECREATOR& operator=(const odbcTABLECREATOR&) = delete;

    // The indentation before each column (default a tab) and the line break (default "\n");
    // the caller's strings are kept, not copied. Each returns the previous one.
    const char* SetszTab(const char* tab);
    const char* SetszEoln(const char* eoln);

    // From count bindings. tableExtra (may be null) follows the last column as a line of its
    // own; textOut receives the text when it fits in *textOutSize, which is then set to the
    // size the text needs. buildOnly builds without running; noExtraByteOnStrings says the
    // character columns' cbValueMax has no room for a NUL; makeNamesUnique renames repeated
    // names (Name, NAME, name -> Name, NAME2, name3).
    virtual short CreateTable(const char* table, const sCOLBIND* bindings, unsigned short count, const char* tableExtra,
                              char* textOut, unsigned short* textOutSize, int buildOnly, int noExtraByteOnStrings,
                              int makeNamesUnique);
    virtual short CreateTable(const unsigned char* table, const sCOLBIND* bindings, unsigned short count,
                              const unsigned char* tableExtra, unsigned char* textOut, unsigned short* textOutSize,
                              int buildOnly, int noExtraByteOnStrings, int makeNamesUnique);
    // From the bound result columns of an executed cursor; -1006 (returned only) when the
    // cursor is null, has no result columns or no bindings.
    virtual short CreateTable(const char* table, odbcCURSOR* model, const char* tableExtra, char* textOut,
                              unsigned short* textOutSize, int buildOnly, int makeNamesUnique);
    // From text: "CREATE TABLE T1 (ID <INTEGER>, PRICE <DECIMAL(10,2)>)". An unknown word
    // leaves a "<<Unrecognized type ...>>" marker in the text and the call fails with -1004.
    virtual short CreateTable(const char* definition, char* textOut, unsigned short* textOutSize, int buildOnly);

    // The text the last call built.
    const std::string& GetStatementText() const { return statement_; }

protected:
    // Appends the data source's type for one column; 0, or -1005 when no type fits.
    virtual short ConvertCreateColumnType(std::string& text, const char* typeName, short sqlType,
                                          unsigned long precision, short scale);
    // The same for a portable type word; -1004 when the word is not one.
    virtual short ConvertCreateColumnType(std::string& text, const char* typeWord, unsigned long precision,
                                          short scale);
    // 0 with the SQL type and the precision raised to the word's minimum; -1 when unknown.
    virtual short ColumnTypeFromToken(const char* word, short* sqlType, unsigned long* precision);
    // The portable word of an SQL type, "?" for others.
    virtual const char* GetCreateTypeName(short sqlType);

private:
    short LoadTypeInfo();
    int ChooseType(const char* typeName, short sqlType, unsigned long precision) const;
    short CopyOut(char* textOut, unsigned short* textOutSize) const;
    std::string Quoted(const std::string& name) const;

    std::vector<sSQLTYPEINFORESULTSET> types_;
    std::string statement_;
    std::string quote_;
    const char* tab_ = "\t";
    const char* eoln_ = "\n";
};
