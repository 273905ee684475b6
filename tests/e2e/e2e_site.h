#pragma once
// One test's web site: a private TESSARO_HOME (logs in its log/ folder), a document root with
// a few template files, a lighttpd in front of the gateway and, when installed, the engine as
// a service that the first request starts. Everything is stopped with the object.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>

#include "gateway_fixtures.h"
#include "http_client.h"
#include "lighttpd_server.h"
#include "tests/common/temp_home.h"

namespace e2e {

// A program built next to the tests: TESSARO_BINARY_DIR/bin/<name>.
std::string BuiltProgram(const std::string& name);

class Site {
public:
    Site();
    ~Site();

    const std::string& home() const { return home_.path(); }
    const std::string& document_root() const { return docs_; }
    // Writes a file below the document root (folders are created). Run by root once the
    // engine is installed, the document root is then the engine account's, everything the test
    // made in it included, as an author's files are.
    void WriteDocument(const std::string& relative, const std::string& text) const;
    // Gives a file or folder (with everything in it, and the folders between it and the
    // runtime root) that the test made to the account the runtime root belongs to: run by root,
    // the test makes files the engine's account must be able to change.
    void GiveToEngineAccount(const std::string& path) const;

    // Installs tsengine as the service "Brendlow Tessaro 2.0", stopped, with the document root
    // as the root template directory.
    bool InstallEngine();
    // The service's state (1 stopped ... 4 running; 0 when unknown) and its process id.
    std::uint32_t EngineState() const;
    pid_t EnginePid() const;

    // Starts lighttpd; extra variables go to the gateway (and so to the engine's request).
    bool StartWebServer(const std::map<std::string, std::string>& environment = {});
    int port() const { return server_ ? server_->port() : 0; }
    pid_t WebServerPid() const { return server_ ? server_->pid() : -1; }
    std::string WebServerLog() const { return server_ ? server_->ErrorLog() : ""; }

    HttpResponse Get(const std::string& target) { return HttpGet(port(), target); }

    // A registry value below HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion.
    static bool SetSetting(const std::string& section, const std::string& name, const std::string& value);
    // The text of a file below the runtime root ("" when missing).
    std::string ReadHomeFile(const std::string& relative) const;

private:
    void StopEngine();

    tessaro::test::TempHome home_;
    std::string docs_;
    bool engine_installed_ = false;
    std::unique_ptr<LighttpdServer> server_;
};

}  // namespace e2e
