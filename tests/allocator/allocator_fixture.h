// A private pool per test and a handler that records every report.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/allocator/tarrock.h"

namespace allocator_test {

struct Reports {
    static inline std::atomic<int> count{0};
    static inline std::atomic<unsigned> lastCode{0};
    static inline std::atomic<TarrockPool> lastPool{nullptr};
    static int Record(TarrockErrorInfo* info) {
        ++count;
        lastCode = info->code;
        lastPool = info->pool;
        return 0;
    }
    static void Clear() {
        count = 0;
        lastCode = 0;
        lastPool = nullptr;
    }
};

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reports::Clear();
        previous_ = TarrockSetErrorHandler(&Reports::Record);
        pool_ = TarrockCreatePool(0, 0, TARROCK_SERIALIZED);
        ASSERT_NE(pool_, nullptr);
    }
    void TearDown() override {
        if (pool_) TarrockFreePool(pool_);
        TarrockSetErrorHandler(previous_);
    }
    static bool Aligned(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }
    static std::uintptr_t PageOf(const void* p) {
        return reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t(0xFFFF);
    }

    TarrockPool pool_ = nullptr;
    TarrockErrorHandler previous_ = nullptr;
};

// The process's default pool (the one every thread's cache serves), with the recording handler.
class DefaultPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reports::Clear();
        previous_ = TarrockSetErrorHandler(&Reports::Record);
        pool_ = TarrockDefaultPool();
        ASSERT_NE(pool_, nullptr);
    }
    void TearDown() override { TarrockSetErrorHandler(previous_); }

    void* Alloc(std::size_t n) { return TarrockAlloc(pool_, n, 0); }

    TarrockPool pool_ = nullptr;
    TarrockErrorHandler previous_ = nullptr;
};

}  // namespace allocator_test
