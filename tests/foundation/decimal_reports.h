#pragma once
// Test support: collects the overflow and inexact reports of one decimal width instead
// of throwing or printing them, for the life of a test.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/decimal.h"

template <class M>
struct CollectedReports {
    static inline std::vector<std::string> overflow;
    static inline std::vector<std::string> inexact;
    static void onOverflow(const RWDecimalOverflowErr<M>& e) { overflow.push_back(e.why()); }
    static void onInexact(const RWDecimalInexactErr<M>& e) { inexact.push_back(e.why()); }
};

template <class M>
class CollectingDecimalTest : public ::testing::Test {
protected:
    using Reports = CollectedReports<M>;
    void SetUp() override {
        Reports::overflow.clear();
        Reports::inexact.clear();
        oldOverflow_ = RWDecimal<M>::setOverflowHandler(&Reports::onOverflow);
        oldInexact_ = RWDecimal<M>::setInexactHandler(&Reports::onInexact);
    }
    void TearDown() override {
        RWDecimal<M>::setOverflowHandler(oldOverflow_);
        RWDecimal<M>::setInexactHandler(oldInexact_);
    }

private:
    typename RWDecimal<M>::OverflowHandler oldOverflow_ = nullptr;
    typename RWDecimal<M>::InexactHandler oldInexact_ = nullptr;
};
