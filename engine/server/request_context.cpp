#include "engine/server/request_context.h"

#include "platform/framework_exception.h"

namespace {

template <typename T>
void DeleteQuietly(T*& object) {
    try {
        delete object;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    object = nullptr;
}

}  // namespace

CRequestContext::~CRequestContext() {
    DeleteQuietly(m_pReader);
    DeleteQuietly(m_pWriter);
    DeleteQuietly(m_pChannel);
}
