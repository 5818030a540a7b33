// Child programs on POSIX. posix_spawnp creates the child (glibc reports a
// failed exec as the call's result, so "not found", "not executable" and
// "bad format" are told apart without a pipe of our own); a close-from file
// action keeps every descriptor above 2 out of the child, even those a host
// opened without close-on-exec.
//
// The end of a child is watched through a pidfd, which a Qt event loop can
// wait on like any descriptor: no SIGCHLD handler, no polling timer. Children
// are reaped only by their own process id: a host or Qt may have children of
// its own, and waitpid(-1) would steal their exit status.
#include "os/Process_p.h"

#include "os/posix/PosixCalls_p.h"

#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <mutex>

extern char **environ;

namespace kv::os {
namespace {

std::mutex leftLock;
std::vector<int> leftChildren; // guarded by leftLock

int exitCodeOf(int status) {
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    return 128 + WTERMSIG(status);
  return 0;
}

SpawnFailure classify(int error) {
  switch (error) {
  case ENOENT:
  case ENOTDIR:
    return SpawnFailure::NotFound;
  case EACCES:
  case EPERM:
    return SpawnFailure::NotExecutable;
  case ENOEXEC:
    return SpawnFailure::BadFormat;
  default:
    return SpawnFailure::Other;
  }
}

int openPidHandle(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

} // namespace

SpawnFailure spawnProgram(const std::vector<std::string> &argv, bool ownSession,
                          SpawnedChild *child) {
  child->pid = -1;
  child->endHandle = -1;
  if (argv.empty() || argv[0].empty())
    return SpawnFailure::NotFound;
  reapEndedChildren(false);

  std::vector<char *> args;
  for (const std::string &arg : argv)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0)
    return SpawnFailure::Other;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return SpawnFailure::Other;
  }
  int error = 0;
  if (ownSession) {
    for (int fd = 0; fd < 3 && error == 0; ++fd)
      error = posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                               fd == 0 ? O_RDONLY : O_WRONLY, 0);
    if (error == 0)
      error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  }
  if (error == 0)
    error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  if (error == 0)
    error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    return classify(error);
  child->pid = pid;
  // The child is ours and unreaped, so its id cannot have been reused.
  child->endHandle = openPidHandle(pid);
  if (child->endHandle >= 0)
    ::fcntl(child->endHandle, F_SETFD, FD_CLOEXEC);
  return SpawnFailure::None;
}

int reapChild(SpawnedChild *child) {
  int status = 0;
  int result = posix::retryOnInterrupt([&] { return ::waitpid(child->pid, &status, 0); });
  if (child->endHandle >= 0)
    posix::closeFile(child->endHandle);
  child->endHandle = -1;
  return result == child->pid ? exitCodeOf(status) : 0;
}

void leaveChild(SpawnedChild *child) {
  if (child->endHandle >= 0)
    posix::closeFile(child->endHandle);
  child->endHandle = -1;
  if (child->pid > 0) {
    std::lock_guard<std::mutex> guard(leftLock);
    leftChildren.push_back(child->pid);
  }
}

int reapEndedChildren(bool waitForAll) {
  std::lock_guard<std::mutex> guard(leftLock);
  int reaped = 0;
  auto ended = [&](int pid) {
    int status;
    int result =
        posix::retryOnInterrupt([&] { return ::waitpid(pid, &status, waitForAll ? 0 : WNOHANG); });
    // ECHILD: someone else reaped it; it is gone either way.
    bool gone = result == pid || (result == -1 && errno == ECHILD);
    reaped += result == pid;
    return gone;
  };
  leftChildren.erase(std::remove_if(leftChildren.begin(), leftChildren.end(), ended),
                     leftChildren.end());
  return reaped;
}

void markDescriptorsCloseOnExec() {
  // Only async-signal-safe calls here: this runs between fork and exec.
  if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0)
    return;
  long maximum = ::sysconf(_SC_OPEN_MAX);
  for (long fd = 3; fd < maximum; ++fd)
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

} // namespace kv::os
