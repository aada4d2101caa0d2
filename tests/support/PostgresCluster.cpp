#include "support/PostgresCluster.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace pellion::test {
namespace {

constexpr const char* kService = "pellion_test";
constexpr const char* kUser = "pellion";
constexpr const char* kPort = "5432";  // the socket lives in our own directory: no clash
constexpr auto kReadyTimeout = std::chrono::seconds(60);

// Who runs the cluster: ourselves, or `postgres` when we are root.
struct Identity {
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

Identity serverIdentity() {
    Identity id;
    if (geteuid() != 0)
        return id;
    if (const passwd* pw = getpwnam("postgres")) {
        id.switchUser = true;
        id.uid = pw->pw_uid;
        id.gid = pw->pw_gid;
    }
    return id;
}

std::string randomPassword() {
    std::random_device entropy;
    char text[33];
    std::snprintf(text, sizeof text, "%08x%08x%08x%08x", entropy(), entropy(), entropy(),
                  entropy());
    return text;
}

std::string commandOutput(const char* command) {
    std::string out;
    if (FILE* pipe = popen(command, "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::string findBinDir() {
    std::string dir = commandOutput("pg_config --bindir 2>/dev/null");
    if (!dir.empty() && std::filesystem::exists(dir + "/initdb"))
        return dir;
    std::string best;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string candidate = entry.path().string() + "/bin";
        if (std::filesystem::exists(candidate + "/initdb") && candidate > best)
            best = candidate;
    }
    return best;
}

// Starts `argv` as a child: as the server's identity when `asServer`, with output to `log`.
// A server child is killed with its parent (SIGQUIT: PostgreSQL's immediate shutdown).
pid_t spawn(const std::vector<std::string>& argv, const std::string& workDir,
            const std::string& log, bool asServer) {
    const Identity id = serverIdentity();
    const pid_t parent = getpid();
    // Everything the child needs is made before the fork: it must not allocate.
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (asServer && id.switchUser) {
        if (setgroups(0, nullptr) != 0 || setgid(id.gid) != 0 || setuid(id.uid) != 0)
            _exit(126);
    }
    // Set after the change of user, which would clear it.
    if (asServer && (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent))
        _exit(125);
    if (chdir(workDir.c_str()) != 0)
        _exit(124);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in < 0 || out < 0)
        _exit(123);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
}

int waitFor(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writePrivateFile(const std::string& path, const std::string& content, const Identity& id) {
    {
        std::ofstream out(path, std::ios::trunc);
        out << content;
        if (!out)
            return false;
    }
    if (chmod(path.c_str(), 0600) != 0)
        return false;
    return !id.switchUser || chown(path.c_str(), id.uid, id.gid) == 0;
}

}  // namespace

// Under /tmp when the server runs as `postgres`: a TMPDIR inside root's home would be closed
// to it.
PostgresCluster::PostgresCluster(bool durable)
    : directory_(serverIdentity().switchUser ? "/tmp" : ""),
      binDir_(findBinDir()),
      durable_(durable) {
    if (binDir_.empty()) {
        error_ = "PostgreSQL's server programs are not installed (scripts/setup.sh installs them)";
        return;
    }
    if (initialise())
        start();
}

PostgresCluster::~PostgresCluster() {
    stop();
}

std::string PostgresCluster::tool(const std::string& name) const {
    return binDir_ + "/" + name;
}

bool PostgresCluster::initialise() {
    const Identity id = serverIdentity();
    const std::string dir = directory_.path();
    if (id.switchUser && chown(dir.c_str(), id.uid, id.gid) != 0) {
        error_ = "cannot hand the cluster directory to the postgres user";
        return false;
    }
    const std::string password = randomPassword();
    const std::string pwfile = directory_.file("pwfile");
    const std::string passfile = directory_.file("pgpass");
    const std::string services = directory_.file("pg_service.conf");
    // The client reads the password and service files as itself; the server only the pwfile.
    if (!writePrivateFile(pwfile, password + "\n", id) ||
        !writePrivateFile(passfile, std::string("*:*:*:") + kUser + ":" + password + "\n", {}) ||
        !writePrivateFile(services,
                          std::string("[") + kService + "]\nhost=" + dir + "\nport=" + kPort +
                              "\nuser=" + kUser + "\ndbname=postgres\npassfile=" + passfile + "\n",
                          {})) {
        error_ = "cannot write the cluster's password and service files";
        return false;
    }
    setenv("PGSERVICEFILE", services.c_str(), 1);
    const int status = waitFor(
        spawn({tool("initdb"), "-D", directory_.file("data"), "-U", kUser, "--pwfile=" + pwfile,
               "-A", "scram-sha-256", "-E", "UTF8", "--no-locale", "--no-sync"},
              dir, directory_.file("initdb.log"), true));
    std::remove(pwfile.c_str());
    if (status != 0) {
        error_ = "initdb failed: " + readText(directory_.file("initdb.log"));
        return false;
    }
    return true;
}

bool PostgresCluster::start() {
    if (server_ > 0)
        return true;
    std::vector<std::string> command{tool("postgres"),
                                     "-D",
                                     directory_.file("data"),
                                     "-k",
                                     directory_.path(),
                                     "-p",
                                     kPort,
                                     "-c",
                                     "listen_addresses="};
    if (!durable_) {
        command.push_back("-c");
        command.push_back("fsync=off");
    }
    server_ = spawn(command, directory_.path(), directory_.file("server.log"), true);
    if (server_ <= 0 || !waitUntilReady()) {
        if (error_.empty())
            error_ = "the server did not start: " + readText(directory_.file("server.log"));
        stop();
        return false;
    }
    return true;
}

bool PostgresCluster::stop() {
    if (server_ <= 0)
        return false;
    kill(server_, SIGQUIT);
    waitFor(server_);
    server_ = -1;
    return true;
}

bool PostgresCluster::waitUntilReady() {
    const auto deadline = std::chrono::steady_clock::now() + kReadyTimeout;
    const std::string pidFile = directory_.file("data/postmaster.pid");
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            error_ = "the server stopped at once: " + readText(directory_.file("server.log"));
            return false;
        }
        // The pid file's eighth line says "ready" once connections are accepted.
        std::istringstream lines(readText(pidFile));
        std::string line;
        for (int i = 0; i < 8 && std::getline(lines, line); ++i) {
            if (i == 7 && line.rfind("ready", 0) == 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "the server was not ready within a minute";
    return false;
}

std::string PostgresCluster::createDatabase() {
    const std::string name = "t" + std::to_string(++databases_);
    const std::string log = directory_.file("psql.log");
    const int status =
        waitFor(spawn({tool("psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d",
                       std::string("service=") + kService, "-c", "CREATE DATABASE " + name},
                      directory_.path(), log, false));
    if (status != 0) {
        error_ = "cannot create a database: " + readText(log);
        return {};
    }
    return std::string("service=") + kService + " dbname=" + name;
}

}  // namespace pellion::test
