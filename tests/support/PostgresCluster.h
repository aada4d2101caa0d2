#pragma once

#include <sys/types.h>

#include <string>

#include "support/TempDirectory.h"

namespace pellion::test {

// A throw-away PostgreSQL server of Debian's `postgresql` package: a cluster made by initdb in
// a temporary directory, served by a postgres process that is a child of this one and listens
// only on a Unix socket in that directory. When this process runs as root, the server runs as
// the `postgres` user (PostgreSQL refuses root). The server dies with this process, even when
// a test crashes.
//
// Clients reach it the way a station reaches its database: through libpq's service file
// (PGSERVICEFILE is set for this process and its children) naming the socket, the user and a
// password file; the password itself is only ever in files, never on a command line.
//
//   PostgresCluster cluster;                         // initdb + start, about 2 s
//   ASSERT_TRUE(cluster.ok()) << cluster.error();
//   auto db = cluster.createDatabase();              // "service=pellion_test dbname=t1"
//   cluster.stop(); ... cluster.start();             // the server away and back
class PostgresCluster {
  public:
    // A durable server syncs its writes to disk, as a real one does (for measurements); the
    // default skips that, which also makes a restart after stop() quick.
    explicit PostgresCluster(bool durable = false);
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // A new, empty database; returns its connection text, or empty (and error()) on failure.
    std::string createDatabase();

    // Stops the server at once (as a crash or a pulled cable would: connections just break).
    bool stop();
    // Starts it again on the same data; waits until it accepts connections.
    bool start();
    bool running() const { return server_ > 0; }

  private:
    bool initialise();
    bool waitUntilReady();
    std::string tool(const std::string& name) const;

    TempDirectory directory_;
    std::string binDir_;
    std::string error_;
    pid_t server_ = -1;
    int databases_ = 0;
    bool durable_ = false;
};

}  // namespace pellion::test
