// Registries of the connections of an environment and the statements of a connection.
// Singly linked, non-owning in the library's own use.
#pragma once

#include "database/odbc/odbc_api.h"

class odbcCONNELEM {
public:
    explicit odbcCONNELEM(odbcCONNECT* item) : item(item) {}
    virtual ~odbcCONNELEM() = default;
    odbcCONNECT* item;
    odbcCONNELEM* next = nullptr;
};

class odbcCONNLIST {
public:
    explicit odbcCONNLIST(int ownsItems) : ownsItems_(ownsItems) {}
    virtual ~odbcCONNLIST();
    odbcCONNLIST(const odbcCONNLIST&) = delete;
    odbcCONNLIST& operator=(const odbcCONNLIST&) = delete;
    virtual void Add(odbcCONNECT* item);
    virtual void Remove(odbcCONNECT* item);
    odbcCONNELEM* First() const { return first_; }

private:
    int ownsItems_;
    odbcCONNELEM* first_ = nullptr;
};

class odbcSTMTELEM {
public:
    explicit odbcSTMTELEM(odbcSTMT* item) : item(item) {}
    virtual ~odbcSTMTELEM() = default;
    odbcSTMT* item;
    odbcSTMTELEM* next = nullptr;
};

class odbcSTMTLIST {
public:
    explicit odbcSTMTLIST(int ownsItems) : ownsItems_(ownsItems) {}
    virtual ~odbcSTMTLIST();
    odbcSTMTLIST(const odbcSTMTLIST&) = delete;
    odbcSTMTLIST& operator=(const odbcSTMTLIST&) = delete;
    virtual void Add(odbcSTMT* item);
    // The item is destroyed when override is 0 and the list owns its items, or when override
    // and destroy are both non-zero.
    virtual void Remove(odbcSTMT* item, int override = 0, int destroy = 0);
    odbcSTMTELEM* First() const { return first_; }

private:
    int ownsItems_;
    odbcSTMTELEM* first_ = nullptr;
};
