// Records tied to one table. odbcRECORD learns the table's real columns and owns a second
// statement for the statements it builds; odbcRECINSERTER inserts packed records through
// one prepared INSERT; odbcRECUPDATER runs a SELECT as a rowset cursor and updates or
// deletes rows of the fetched rowset.
//
// Long columns (an odbcBLOB pointer in the record) always travel through their odbcBLOB as data
// at execution, never as the bytes of their slot.
//
// The updater reaches a row the way the driver offers: SQLSetPos on its own statement when
// SQL_POS_OPERATIONS allows updates and deletes, else a positioned statement ("WHERE CURRENT
// OF" its cursor) when SQL_POSITIONED_STATEMENTS allows it. A driver with neither (SQLite)
// gets a statement that names the row by the table's primary key (the row id when there is
// none), with the key values taken from the fetched row; a row whose key cannot be read is
// never updated or deleted. Statements grow as needed, and names are quoted with the
// connection's quote mark doubled inside them. Records cannot be copied.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database/odbc/odbc_cursor.h"

class odbcRECORD : public odbcCURSOR {
public:
    odbcRECORD(odbcCONNECT* conn, const char* table);
    ~odbcRECORD() override;
    odbcRECORD(const odbcRECORD&) = delete;
    odbcRECORD& operator=(const odbcRECORD&) = delete;

    void SetWnd(odbcHWND wnd) override;
    void SetMBoxFlags(unsigned short flags) override;
    short AutoRetrieve(short mode) override;
    short AutoReport(short mode) override;
    odbcErrHandler SetErrHandler(odbcErrHandler handler) override;

    virtual const odbcCURSOR* GetStmtObject() const { return internal_.get(); }
    virtual const char* GetSqlStmt() const { return text_.c_str(); }
    // The address of a column's value inside a caller's packed record; null when unknown.
    virtual void* ColRecAddr(void* record, unsigned short column);
    virtual void* ColRecAddr(void* record, const char* column);
    virtual void* ColRecAddr(void* record, const unsigned char* column);

    const std::string& TableName() const { return table_; }

protected:
    virtual int Allocate(const char* table);
    // Describes the table's columns ("SELECT * ... WHERE 0 = 1"); keep stores a copy of them
    // and unbinds, otherwise they stay as the record's bindings.
    virtual short GetActualColumnDefinitions(int keep);
    // The quote mark ("" when the driver has none) and a name between two of them.
    std::string QuoteMark();
    std::string Quoted(const std::string& name);
    // The SQL type of a binding: that of the table's column of the same name when known.
    short SqlTypeOf(const sCOLBIND& binding) const;
    // Binds one binding's value on the internal statement as parameter number.
    short BindValue(unsigned short number, const sCOLBIND& binding, void* value, SQLLEN* length);
    // Applies the length rule to lengths[i] and binds binding i's value of row (0: the single
    // row of a cursor without rowsets) as parameter i + 1 of the internal statement: a NULL
    // value is cleared and marked, a long column binds its odbcBLOB for data at execution.
    // False (with the record's code set) when it cannot be bound.
    // Without newValues a row is bound as it stands: NULLs as fetched, texts up to their
    // terminator, other values whole.
    bool BindRowValue(unsigned short i, const sCOLBIND& binding, unsigned short row, SQLLEN* lengths,
                      bool newValues);
    void TakeOverConnectionPolicy();

    std::unique_ptr<odbcCURSOR> internal_;
    std::string text_;
    std::vector<sCOLBIND> actual_;
    // Lengths of character values as the driver reads them: never beyond the buffer, even
    // when the value fills it without a terminator.
    std::vector<SQLLEN> sendLengths_;

private:
    std::string table_;
};

class odbcRECINSERTER : public odbcRECORD {
public:
    // bindings null: every column of the table, from the cursor's own record buffer.
    odbcRECINSERTER(odbcCONNECT* conn, const char* table, sCOLBIND* bindings, unsigned short count, void* record);
    ~odbcRECINSERTER() override;

    // Inserts one packed record (null: the cursor's own buffer). lengths (may be null) holds
    // one length per binding, SQL_NULL_DATA for NULL; positive ones are rewritten.
    virtual short InsertRecord(void* record, unsigned int recordSize, SQLLEN* lengths);

protected:
    virtual short SetupForInsert(sCOLBIND* bindings, unsigned short count, void* record);

private:
    // Made when the caller passes none; kept until the next call, as the driver may still
    // read it while data is sent at execution.
    std::vector<SQLLEN> ownLengths_;
};

class odbcRECUPDATER : public odbcRECORD {
public:
    odbcRECUPDATER(odbcCONNECT* conn, const char* table, const char* select, sCOLBIND* bindings, unsigned short count,
                   void* record, int execDirect, unsigned short concurrency, long cursorType,
                   unsigned short rowsetSize);
    ~odbcRECUPDATER() override;

    // Row (from 1) of the current rowset gets the record's values (null: the row's current
    // content); the number of rows changed, 0 on failure.
    virtual long UpdateRecord(unsigned short row, void* record, unsigned int recordSize, SQLLEN* lengths);
    virtual long DeleteRecord(unsigned short row);

protected:
    virtual short SetupForPosUpdDels(const char* select, int execDirect, sCOLBIND* bindings, unsigned short count,
                                     void* record, unsigned short concurrency, long cursorType,
                                     unsigned short rowsetSize);
    // Appends "\n\tWHERE CURRENT OF " and the name of this statement's cursor; 0 when the
    // name cannot be had.
    virtual int AppendWhereClause();

    // How a row is reached: chosen from what the driver reports for each call.
    enum class Way { SetPos, PositionedStatement, Key };
    virtual Way UpdateWay();
    virtual Way DeleteWay();

private:
    bool SetPosAllows(unsigned long operation);
    long UpdateBySetPos(unsigned short row, SQLLEN* lengths, bool newValues);
    long UpdateByPositionedStatement(unsigned short row, SQLLEN* lengths, bool newValues);
    long UpdateByKey(unsigned short row, SQLLEN* lengths, bool newValues);
    // Binds every column's value of `row` as a parameter of the statement text_ holds.
    bool BindRowValues(unsigned short row, SQLLEN* lengths, bool newValues);
    // Runs text_ and answers the number of rows it changed (0 on failure, kUpdateFailed set).
    long ExecuteUpdateText();
    long DeleteByPositionedStatement(unsigned short row);
    long DeleteByKey(unsigned short row);
    // Positions the cursor on row when the rowset holds more than one; false with -1012.
    bool PositionOn(unsigned short row);
    // " WHERE k1 = ? AND k2 = ?" with the row's key values bound from parameter first on;
    // false (and -1024) when the key is unknown, not selected or NULL in the row.
    bool AppendKeyClause(unsigned short row, unsigned short first);
    std::vector<std::string> KeyColumns();
    std::vector<std::vector<SQLLEN>> longIndicators_;
    std::vector<std::vector<unsigned char>> keyValues_;
    std::vector<SQLLEN> keyLengths_;
    std::vector<SQLLEN> lengths_;
};
