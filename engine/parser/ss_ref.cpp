#include "engine/parser/ss_ref.h"

#include "engine/parser/ss_exception.h"

void SSRef::releaseSlow(int deleteAtZero) {
    std::uint32_t current = count_.load(std::memory_order_relaxed);
    do {
        if (current == 0) {
            // No slot of its own: the error goes straight to the caller.
            SSRuntimeOptions& options = SSOptions();
            if (options.throwOnError.load() != 0 && options.suppressThrow.load() == 0) {
                throw SSException(SSErrorNegativeRefCount, SSErrorFormat(SSErrorNegativeRefCount));
            }
            return;
        }
    } while (!count_.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel));
    if (current == 1 && deleteAtZero != 0) delete this;
}
