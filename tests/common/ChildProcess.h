// Test support: runs the current test binary again as a child process, so
// that multi-process behaviour is checked with real processes.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QProcess;

namespace kvtest {

using EnvList = std::vector<std::pair<std::string, std::string>>;

/// The role this process was started in by `startChild`/`runChild`
/// (the KV_TEST_CHILD variable); empty in the parent test run.
std::string childRole();

/// Starts this binary with only the tests matching `gtestFilter`, the
/// variable KV_TEST_CHILD=`role` and the extra variables given. The child's
/// output is forwarded to ours.
std::unique_ptr<QProcess> startChild(const std::string &gtestFilter, const std::string &role,
                                     const EnvList &env = {});

/// Waits for a started child; returns its exit code, or -1 when it crashed
/// or did not end within `timeoutMs`.
int waitChild(QProcess &child, int timeoutMs = 60000);

/// startChild and waitChild in one.
int runChild(const std::string &gtestFilter, const std::string &role, const EnvList &env = {},
             int timeoutMs = 60000);

/// The running test's full name, "Suite.Name": the filter its children run under.
std::string currentTest();

/// Starts the running test again as a child in `role`, with KV_READY=`ready`
/// added to `env`, and returns once the child has created that file (a test
/// failure when it does not within 30 s).
std::unique_ptr<QProcess> startReady(const std::string &role, const std::string &ready,
                                     EnvList env = {});

/// The value of an environment variable, empty when unset.
std::string env(const char *name);

/// A name no other test run can use at the same time: prefix, process id and
/// a counter (for shared memory, mutexes, files).
std::string uniqueName(const std::string &prefix);

} // namespace kvtest
