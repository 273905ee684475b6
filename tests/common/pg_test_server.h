// A private PostgreSQL server for tests: a fresh cluster in a temporary directory, listening
// only on a Unix socket there, started at first use and stopped at exit. When the process
// runs as root the server runs as the "postgres" user.
#pragma once

#include <string>

namespace tessaro::database {

class PgTestServer {
public:
    // The process-wide server, started at first use.
    static PgTestServer& Instance();

    // False when the PostgreSQL binaries are missing or the server did not start; Reason()
    // then says why.
    bool Available() const { return available_; }
    const std::string& Reason() const { return reason_; }
    const std::string& SocketDir() const { return dir_; }
    int Port() const { return port_; }
    // A data source on the server's "postgres" database, registered in OdbcTestConfig.
    static constexpr const char* kDsn = "tessaro_pg";
    static constexpr const char* kUser = "tessaro";

    PgTestServer(const PgTestServer&) = delete;
    PgTestServer& operator=(const PgTestServer&) = delete;
    ~PgTestServer();

private:
    PgTestServer();
    bool Run(const std::string& command, std::string* output = nullptr) const;
    std::string AsServerUser(const std::string& command) const;
    void StopAbandonedClusters() const;

    bool available_ = false;
    bool started_ = false;
    bool asPostgresUser_ = false;
    std::string reason_;
    std::string bin_;
    std::string dir_;
    int port_ = 5432;
};

}  // namespace tessaro::database
