#include "engine/server/current_exception.h"

#include <new>

#include "support/registry.h"
#include "support/web_exception.h"
#include "platform/framework_exception.h"

ExceptionReport DescribeCurrentException() {
    try {
        throw;
    } catch (CWebException* e) {
        ExceptionReport report{e->GetTypeName(), e->GetMessage() + " " + e->GetDetail(), e->GetPageText(),
                               e->GetHttpStatus()};
        e->Delete();
        return report;
    } catch (CMemoryException* e) {
        e->Delete();
        return {"CMemoryException", "Memory access violation occurred.", ""};
    } catch (CFileException* e) {
        std::string text = e->GetErrorMessage();
        e->Delete();
        return {"CFileException", text, ""};
    } catch (CRegistryException* e) {
        std::string text = e->GetErrorMessage();
        e->Delete();
        return {"CRegistryException", text, ""};
    } catch (CException* e) {
        e->Delete();
        return {"CException", "", ""};
    } catch (const std::bad_alloc&) {
        return {"CMemoryException", "Memory access violation occurred.", ""};
    } catch (...) {
        return {"Unknown exception", "", ""};
    }
}
