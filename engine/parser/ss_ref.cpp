#include "engine/parser/ss_ref.h"

#include "engine/parser/ss_exception.h"

void SSRef::releaseSlow(int deleteAtZero) {
    if (count_ == 0) {
        // No slot of its own: the error goes straight to the caller.
        SSRuntimeOptions& options = SSOptions();
        if (options.throwOnError.load() != 0 && options.suppressThrow.load() == 0) {
            throw SSException(SSErrorNegativeRefCount, SSErrorFormat(SSErrorNegativeRefCount));
        }
        return;
    }
    if (--count_ == 0 && deleteAtZero != 0) delete this;
}
