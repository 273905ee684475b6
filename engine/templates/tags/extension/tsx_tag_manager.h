// The extension tags' libraries: one manager per engine (built at start-up, deleted at
// shutdown), whose cache keeps the libraries of tags registered with CacheLibrary other
// than "0" loaded until then. Shared by every request thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "interfaces/tsx.h"

class CTSXRequestImp;

// One tag's library and procedure, loaded by the constructor.
class CTSCustomTag {
public:
    // Reads LibraryPath, ProcedureName and CacheLibrary through the request and
    // loads; failures throw CTSXExceptionImp*.
    CTSCustomTag(const std::string& name, CTSXRequestImp& request);
    virtual ~CTSCustomTag();
    CTSCustomTag(const CTSCustomTag&) = delete;
    CTSCustomTag& operator=(const CTSCustomTag&) = delete;

    // Runs the procedure. Only the interface's exception leaves it: anything else
    // the procedure throws becomes a CTSXExceptionImp*.
    void Call(CTSXRequestImp& request);
    bool IsCached() const { return m_cache; }

private:
    std::string m_name;
    std::string m_libraryPath;
    std::string m_procedureName;
    bool m_cache = true;
    void* m_module = nullptr;
    TSXTagProcedure* m_procedure = nullptr;
};

class CTSCustomTagManager {
public:
    CTSCustomTagManager() = default;
    virtual ~CTSCustomTagManager();

    void CallTag(const std::string& name, CTSXRequestImp& request);
    // The cached tag (name in any case), or null.
    CTSCustomTag* GetTag(const std::string& name);
    // Another thread may have cached the same tag meanwhile; then tag is dropped.
    void AddTagToCache(const std::string& name, std::unique_ptr<CTSCustomTag> tag);

private:
    std::timed_mutex m_mutex;
    std::map<std::string, std::unique_ptr<CTSCustomTag>> m_tags;
};
