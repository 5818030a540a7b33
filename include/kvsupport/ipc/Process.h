#pragma once

#include "kvsupport/containers/YRef.h"

#include <cstdint>

class kvstream;
class KvProcessHelper;
class QEventLoop;

/// How a child program is started (a set of bits).
enum SpawnFlags : uint32_t {
  SpawnWait = 1,           ///< wait until the program ends
  SpawnHidden = 2,         ///< hidden window: no meaning here, ignored
  SpawnNewConsole = 4,     ///< sp_OldSpawnApplication: keep the caller's terminal and session
  SpawnMinimized = 8,      ///< minimised window: no meaning here, ignored
  SpawnForwardStdout = 16, ///< sp_SpawnApplication: standard output to the stream
  SpawnForwardStderr = 32, ///< sp_SpawnApplication: standard error to the stream
  SpawnDiscardOutput = 64  ///< sp_SpawnApplication: unforwarded output is discarded
};

/// The result of the spawn functions.
enum SSPError : int {
  SSP_OK = 0,             ///< started (and, when waited for, ended)
  SSP_START_FAILED = 1,   ///< did not start, for another reason
  SSP_NOT_FOUND = 4,      ///< the program file does not exist
  SSP_BAD_FORMAT = 5,     ///< the file is not a valid executable
  SSP_NOT_EXECUTABLE = 6, ///< the file may not be executed
  SSP_UNSUPPORTED = 7     ///< SpawnNewConsole given to sp_SpawnApplication
};

/// Starts the program of `commandLine` (words at blanks and tabs, double
/// quotes group; the first word is the program, found through PATH when it
/// has no slash) through QProcess. Forwarded channels are written to
/// `output` (when set) as they arrive, and everything the child wrote has
/// reached the stream before a waited call returns; channels that are not
/// forwarded are discarded, so the child never blocks on a full pipe.
/// `*exitCode` (may be null) receives 0, or with SpawnWait the program's
/// exit code (128 + N when killed by signal N); `*processId` (may be null)
/// the child's id while it runs, else -1. A child not waited for is watched
/// by an object that lives, holding `output`, until the child ends; that
/// needs the calling thread's event loop. The child inherits no descriptor
/// of the library above the standard three. Never throws.
SSPError sp_SpawnApplication(const char *commandLine, uint32_t flags, YRef<kvstream> output,
                             unsigned *exitCode, int *processId);

/// Starts the program of `commandLine` directly (posix_spawnp), with the
/// caller's environment and working directory and no descriptor but the
/// standard three. Without SpawnNewConsole the child runs in a session of
/// its own with its standard channels on the null device; with it, it
/// shares the caller's terminal. With SpawnWait the call waits for the end
/// while the calling thread's Qt events are still processed; `*exitCode`
/// then is the program's (128 + N when killed by signal N) and
/// `*processId` -1. Otherwise `*exitCode` is 0 and `*processId` the child's
/// id; the child is reaped at the latest by the next spawn after its end
/// (or by sp_ReapSpawnedChildren). On failure: exit code 0, id -1 and the
/// reason (SSP_NOT_FOUND, SSP_NOT_EXECUTABLE, SSP_BAD_FORMAT, else
/// SSP_START_FAILED). Bits 2 and 8 are ignored. Never throws.
SSPError sp_OldSpawnApplication(const char *commandLine, uint32_t flags, unsigned *exitCode,
                                int *processId);

/// Reaps the children of sp_OldSpawnApplication that have ended; with
/// `waitForAll`, waits for the running ones too. Returns how many were
/// reaped. Children are only ever waited for by their own process id.
int sp_ReapSpawnedChildren(bool waitForAll);

/// A child program whose arguments are added one by one, then started,
/// watched, waited for and killed. The child is the object's own: not
/// copyable. One thread.
class KvProcess {
public:
  /// Splits `commandLine` (may be null) as sp_SpawnApplication does.
  /// Forwarded channels are printed as text through kv_printf; the others
  /// are discarded.
  KvProcess(const char *commandLine, bool forwardStdout, bool forwardStderr);
  /// A running child is left to run; its watcher deletes itself when it ends.
  ~KvProcess();
  KvProcess(const KvProcess &) = delete;
  KvProcess &operator=(const KvProcess &) = delete;

  /// Sets the program (taken as given, unquoted) while there is none, else
  /// appends an argument. Null is ignored.
  void addArgument(const char *argument);
  /// Starts the program and waits up to 30 s for it to have started; false
  /// when it did not (or no program was given, or it was started before).
  bool start();
  /// Whether the child runs.
  bool isRunning() const;
  /// Kills the child (SIGKILL); nothing when it does not run.
  void kill();
  /// When the child runs, runs an event loop until it has ended.
  void waitProcess();
  /// The child's exit code once it ended (128 + N when killed by signal N),
  /// else 0.
  int exitCode() const;

private:
  friend class KvProcessHelper;
  KvProcessHelper *helper_;
  QEventLoop *loop_ = nullptr;
  int openMode_;
};
