// The engine's neighbours as seen from start-up and shutdown. Each hook has a
// small stand-in until its subsystem lands; tsengine's start-up replaces them.
#pragma once

#include <functional>
#include <string>

class CRegistrySettings;
class CRequestDispatcher;
namespace tessaro::platform {
class Window;
}

struct EngineSubsystems {
    std::function<void()> attachAllocator;
    std::function<void()> detachAllocator;
    // Registers the page classes with the dispatcher.
    std::function<void(CRequestDispatcher&)> registerActions;
    std::function<void()> loadGrammarTables;
    std::function<void()> freeGrammarTables;
    std::function<void(CRegistrySettings*)> buildConnectionPool;
    // False with the reason when the spooler cannot be built.
    std::function<bool(CRegistrySettings*, std::string& error)> buildMailSpooler;
    // The engine window is handed over at its creation.
    std::function<void(tessaro::platform::Window&)> attachMailWindow;
    // The engine window is closing: no more notices, and a running pass gives up waiting.
    std::function<void()> detachMailWindow;
    // One mail delivery pass (window thread only).
    std::function<void()> processWaitingMessages;
    std::function<void()> buildCustomTagManager;
    std::function<void()> deleteCustomTagManager;
    std::function<void()> closeReportEngineMutex;
    std::function<void()> closeClientMutex;
};

// The hooks in use; initially the stand-ins.
EngineSubsystems& TheEngineSubsystems();

// The file of a mailer library name: "TSSMTP.DLL" -> "libtssmtp.so"; a path or a
// shared-object name ("x.so", "x.so.2") is kept.
std::string MailerLibraryFileName(const std::string& name);

// The stand-in mail spooler check: Mail\MailerDLL, when set, must name a loadable
// library ("X.DLL" is looked for as libx.so beside the program, then on the
// library path). False with "Mail library <name> could not be loaded."
bool CheckMailerLibrary(CRegistrySettings* settings, std::string& error);
