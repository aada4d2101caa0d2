#include "serial/PortAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/CSerialPort.h"
#include "serial/posix/PtyLineChannel.h"
#include "support/PtyPair.h"
#include "support/TempDirectory.h"
#include "support/TestSerialOwner.h"
#include "support/VirtualChipFixture.h"

namespace pellion::test {
namespace {

// Counts the opens and closes of one device node from now on.
class NodeWatch {
  public:
    explicit NodeWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        watch_ = ::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE);
    }
    ~NodeWatch() { ::close(fd_); }
    bool ok() const { return watch_ >= 0; }
    // Events since the last call.
    int events() {
        alignas(inotify_event) char buffer[4096];
        int count = 0;
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            count += int(n / sizeof(inotify_event));
        return count;
    }

  private:
    int fd_;
    int watch_ = -1;
};

// Opening a port raises its lines, so the busy test must tell without an open: no open of the
// node, no change on the board, while it tells a port held by an opener from a free one.
TEST(PortProbeTest, TellsABusyPortWithoutOpeningItOrMovingItsLines) {
    VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok()) << chips.error();
    const std::string path = chips.devicePath(0);
    posix::PtyLineChannel lines;
    ASSERT_TRUE(lines.open(path).ok());
    ASSERT_TRUE(lines.setLines(false, true).ok());
    NodeWatch watch(path);
    ASSERT_TRUE(watch.ok());

    EXPECT_EQ(CSerialPort::ProbePort(path), PortAccess::Free);
    EXPECT_EQ(watch.events(), 0);
    TestSerialOwner owner;
    CSerialPort holder;
    ASSERT_TRUE(holder.OpenPort(&owner, path, 1, 115200, 0));
    ASSERT_GT(watch.events(), 0) << "the watch sees opens";
    EXPECT_EQ(CSerialPort::ProbePort(path), PortAccess::Busy);
    EXPECT_TRUE(CSerialPort::IsPortBusy(path));
    EXPECT_EQ(watch.events(), 0);
    holder.StopAndClose();
    watch.events();
    EXPECT_EQ(CSerialPort::ProbePort(path), PortAccess::Free);
    EXPECT_EQ(watch.events(), 0);

    const auto board = chips.chip(0).board();
    EXPECT_FALSE(board.lines.dtr);
    EXPECT_TRUE(board.lines.rts) << "neither the probes nor a plain open and close moved a line";
    EXPECT_TRUE(owner.errors().empty());
}

// What keeps a port from opening, told by the test and by the open in the same words.
TEST(PortProbeTest, TheTestAndTheOpenNameWhyAPortCannotBeOpened) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    TempDirectory dir;
    const std::string file = dir.file("not-a-port");
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    struct Case {
        std::string path;
        PortAccess access;
        SerialErrorKind kind;
    };
    const Case cases[] = {
        {pty.slavePath(), PortAccess::Busy, SerialErrorKind::Busy},
        {"/dev/pellion-no-such-port", PortAccess::Absent, SerialErrorKind::Absent},
        {file, PortAccess::NotATerminal, SerialErrorKind::NotATerminal},
        {"/dev/null", PortAccess::NotATerminal, SerialErrorKind::NotATerminal},
        {dir.path(), PortAccess::NotATerminal, SerialErrorKind::NotATerminal},
    };
    TestSerialOwner owner;
    CSerialPort port;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(CSerialPort::ProbePort(c.path), c.access);
        const auto opened = port.OpenPort(&owner, c.path, 1, 57600, 0);
        EXPECT_EQ(opened.kind, c.kind);
        EXPECT_FALSE(opened.step.empty());
        EXPECT_FALSE(opened.systemText.empty());
        EXPECT_FALSE(port.IsOpen());
    }
    ::close(holder);
    EXPECT_EQ(CSerialPort::ProbePort(pty.slavePath()), PortAccess::Free);
    EXPECT_TRUE(owner.errors().empty());
}

// A user without the right to the device is told so, by the test and by the open (a child
// process drops its privileges; the tests themselves run with every one).
TEST(PortProbeTest, AUserWithoutTheRightToThePortIsDenied) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0600), 0);
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        const bool denied = CSerialPort::ProbePort(pty.slavePath()) == PortAccess::Denied;
        CSerialPort port;
        const bool openDenied =
            port.OpenPort(nullptr, pty.slavePath(), 1, 57600, 0).kind == SerialErrorKind::Denied;
        ::_exit(denied && openDenied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace pellion::test
