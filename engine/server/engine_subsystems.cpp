#include "engine/server/engine_subsystems.h"

#include "engine/server/echo_page.h"
#include "engine/server/hdml_library.h"
#include "engine/server/request_dispatcher.h"
#include "support/text_helpers.h"
#include "platform/module_loader.h"
#include "support/registry.h"
#include "foundation/allocator/tarrock.h"

namespace {

bool LibraryLoads(const std::string& name) {
    using tessaro::platform::LoadedModule;
    return LoadedModule::Load(MailerLibraryFileName(name), LoadedModule::Binding::Lazy).IsLoaded();
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
    s.detachMailWindow = nothing;
    s.processWaitingMessages = nothing;
    s.buildCustomTagManager = nothing;
    s.deleteCustomTagManager = nothing;
    s.closeReportEngineMutex = nothing;
    s.closeClientMutex = nothing;
    return s;
}

}  // namespace

std::string MailerLibraryFileName(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string lower = LowerCopy(name);
    std::size_t so = lower.rfind(".so");
    if (so != std::string::npos && (so + 3 == lower.size() || lower[so + 3] == '.')) return name;
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) lower.resize(lower.size() - 4);
    return "lib" + lower + ".so";
}

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
