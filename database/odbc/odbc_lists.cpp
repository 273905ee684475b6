#include "database/odbc/odbc_lists.h"

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_stmt.h"

#include <new>

namespace {

template <typename Elem, typename Item>
void Append(Elem*& first, Item* item) {
    Elem* elem = new (std::nothrow) Elem(item);
    if (!elem) return;  // not listed; nothing is signalled
    if (!first) {
        first = elem;
        return;
    }
    Elem* last = first;
    while (last->next) last = last->next;
    last->next = elem;
}

template <typename Elem, typename Item>
bool Unlink(Elem*& first, Item* item) {
    Elem* prev = nullptr;
    for (Elem* e = first; e; prev = e, e = e->next) {
        if (e->item != item) continue;
        (prev ? prev->next : first) = e->next;
        delete e;
        return true;
    }
    return false;
}

}  // namespace

odbcCONNLIST::~odbcCONNLIST() {
    while (first_) {
        odbcCONNELEM* e = first_;
        first_ = e->next;
        if (ownsItems_) delete e->item;
        delete e;
    }
}

void odbcCONNLIST::Add(odbcCONNECT* item) {
    Append(first_, item);
}

void odbcCONNLIST::Remove(odbcCONNECT* item) {
    if (Unlink(first_, item) && ownsItems_) delete item;
}

odbcSTMTLIST::~odbcSTMTLIST() {
    while (first_) {
        odbcSTMTELEM* e = first_;
        first_ = e->next;
        if (ownsItems_) delete e->item;
        delete e;
    }
}

void odbcSTMTLIST::Add(odbcSTMT* item) {
    Append(first_, item);
}

void odbcSTMTLIST::Remove(odbcSTMT* item, int override, int destroy) {
    if (!Unlink(first_, item)) return;
    if ((override == 0 && ownsItems_) || (override != 0 && destroy != 0)) delete item;
}
