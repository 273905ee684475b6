#include "engine/server/engine_subsystems.h"

#include "engine/server/echo_page.h"
#include "engine/server/hdml_library.h"
#include "engine/server/request_dispatcher.h"
#include "support/text_helpers.h"
#include "platform/module_loader.h"
#include "support/registry.h"
#include "foundation/allocator/tarrock.h"

namespace {

// "TSSMTP.DLL" -> "libtssmtp.so"; a name with a '/' or ending in ".so" is kept.
std::string LibraryFileName(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string lower = LowerCopy(name);
    if (lower.size() > 3 && lower.compare(lower.size() - 3, 3, ".so") == 0) return name;
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) lower.resize(lower.size() - 4);
    return "lib" + lower + ".so";
}

bool LibraryLoads(const std::string& name) {
    using tessaro::platform::LoadedModule;
    return LoadedModule::Load(LibraryFileName(name), LoadedModule::Binding::Lazy).IsLoaded();
}

EngineSubsystems MakeStandIns() {
    EngineSubsystems s;
    auto nothing = [] {};
    // In service, allocator failures simply fail: no handler, no message.
    s.attachAllocator = [] {
        TarrockAttach();
        TarrockSetErrorHandler(nullptr);
    };
    s.detachAllocator = [] { TarrockDetach(); };
    s.registerActions = [](CRequestDispatcher& dispatcher) { RegisterEchoPageWhenEnabled(dispatcher); };
    s.loadGrammarTables = nothing;
    s.freeGrammarTables = nothing;
    s.buildConnectionPool = [](CRegistrySettings*) {};
    s.buildMailSpooler = CheckMailerLibrary;
    s.attachMailWindow = [](tessaro::platform::Window&) {};
    s.processWaitingMessages = nothing;
    s.buildCustomTagManager = nothing;
    s.deleteCustomTagManager = nothing;
    s.closeReportEngineMutex = nothing;
    s.closeClientMutex = nothing;
    return s;
}

}  // namespace

EngineSubsystems& TheEngineSubsystems() {
    static EngineSubsystems subsystems = MakeStandIns();
    return subsystems;
}

bool CheckMailerLibrary(CRegistrySettings* settings, std::string& error) {
    std::string name = settings ? settings->GetString("Mail", "MailerDLL", "") : std::string();
    TrimString(name);
    if (name.empty() || LibraryLoads(name)) return true;
    error = "Mail library " + name + " could not be loaded.";
    return false;
}
