#include "engine/templates/tags/extension/tsx_tag_manager.h"

#include <chrono>
#include <exception>

#include "support/text_helpers.h"
#include "engine/templates/tags/extension/tsx_request.h"
#include "platform/framework_exception.h"
#include "platform/module_library.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;

namespace {

constexpr const char* kInitTitle = "Error initializing TSX custom tag";
constexpr const char* kLoadTitle = "Error loading TSX custom tag library";
constexpr auto kCacheWait = std::chrono::seconds(10);

CWebMessage MissingSetting(const std::string& setting, const std::string& name) {
    return CWebMessage("The ") +
           (setting == "LibraryPath" ? CWebMessage("library path") : CWebMessage("procedure name")) + " setting (" +
           setting + ") was not found in the Registry for custom tag '" + name +
           "'. Please make sure to add the required custom tag entries to the Registry before using the custom tag in "
           "an application.";
}

}  // namespace

CTSCustomTag::CTSCustomTag(const std::string& name, CTSXRequestImp& request) : m_name(name) {
    m_libraryPath = request.Setting("LibraryPath");
    if (m_libraryPath.empty()) throw new CTSXExceptionImp(kInitTitle, MissingSetting("LibraryPath", name));
    m_procedureName = request.Setting("ProcedureName");
    if (m_procedureName.empty()) throw new CTSXExceptionImp(kInitTitle, MissingSetting("ProcedureName", name));
    m_cache = request.Setting("CacheLibrary") != "0";

    std::string detail;
    long err = plat::ERROR_SUCCESS;
    m_module = plat::LoadModule(m_libraryPath, &err, &detail);
    if (err == plat::ERROR_MOD_NOT_FOUND)
        throw new CTSXExceptionImp(kLoadTitle, CWebMessage("The library associated with the custom tag ") + name +
                                                   " (" + m_libraryPath +
                                                   ") was not found.<P>Please check the LibraryPath entry for this tag "
                                                   "in the custom tag database to verify that the library file exists "
                                                   "and is accessible by the Tessaro service.<P>" +
                                                   detail);
    if (m_module == nullptr)
        throw new CTSXExceptionImp(kLoadTitle, CWebMessage::Value(plat::WindowsErrorText(err)) +
                                                   " while attempting to load library '" + m_libraryPath + "'. " +
                                                   detail);
    void* address = plat::GetModuleProcedure(m_module, m_procedureName, &err, &detail);
    if (address == nullptr) {
        plat::FreeModule(m_module);
        m_module = nullptr;
        throw new CTSXExceptionImp(
            kLoadTitle,
            CWebMessage("The procedure associated with the custom tag ") + name + " (" + m_procedureName +
                ") was not found in the library '" + m_libraryPath +
                "'.<P>Please check the ProcedureName entry for this tag in the custom tag database to "
                "verify that the procedure listed there is exported by the custom tag library.<P><B>Note:"
                "</B> A procedure is exported when it is declared extern \"C\" with default visibility.<P>" +
                detail);
    }
    m_procedure = reinterpret_cast<TSXTagProcedure*>(address);
}

CTSCustomTag::~CTSCustomTag() {
    plat::FreeModule(m_module);
    m_module = nullptr;
}

void CTSCustomTag::Call(CTSXRequestImp& request) {
    try {
        m_procedure(&request);
    } catch (CTSXExceptionImp*) {
        throw;
    } catch (CException*) {
        // The engine's own errors raised through the request pass as they are.
        throw;
    } catch (const std::exception& e) {
        throw new CTSXExceptionImp("Error processing TSX custom tag",
                                   CWebMessage("The custom tag ") + m_name +
                                       " raised an exception that is not a TSX "
                                       "exception: " +
                                       std::string(e.what()) +
                                       "<P>Tag procedures report errors through CTSXRequest::ThrowException.");
    } catch (...) {
        throw new CTSXExceptionImp(
            "Error processing TSX custom tag",
            CWebMessage("The custom tag ") + m_name +
                " raised an exception that is not a TSX "
                "exception.<P>Tag procedures report errors through CTSXRequest::ThrowException.");
    }
}

CTSCustomTagManager::~CTSCustomTagManager() {
    std::lock_guard<std::timed_mutex> lock(m_mutex);
    m_tags.clear();
}

CTSCustomTag* CTSCustomTagManager::GetTag(const std::string& name) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, kCacheWait);
    if (!lock.owns_lock())
        throw new CTSXExceptionImp("Error in TSX custom tag manager",
                                   "Mutex timed out in CTSCustomTagManager::GetTag after waiting for 10 seconds.");
    auto it = m_tags.find(UpperCopy(name));
    return it == m_tags.end() ? nullptr : it->second.get();
}

void CTSCustomTagManager::AddTagToCache(const std::string& name, std::unique_ptr<CTSCustomTag> tag) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, kCacheWait);
    if (!lock.owns_lock())
        throw new CTSXExceptionImp("Error in TSX custom tag manager",
                                   "Mutex timed out in CTSCustomTagManager::AddTagToCache after waiting for 10 "
                                   "seconds.");
    std::unique_ptr<CTSCustomTag>& entry = m_tags[UpperCopy(name)];
    if (!entry) entry = std::move(tag);
    // Otherwise tag goes here, after the lock is released.
    lock.unlock();
}

void CTSCustomTagManager::CallTag(const std::string& name, CTSXRequestImp& request) {
    if (CTSCustomTag* tag = GetTag(name)) {
        tag->Call(request);
        return;
    }
    auto tag = std::make_unique<CTSCustomTag>(name, request);
    tag->Call(request);
    if (tag->IsCached()) AddTagToCache(name, std::move(tag));
}
