// A process of another user reaching an endpoint: run as root, the child
// takes another effective user id (keeping root's file access, so that the
// endpoint's directory does not stop it first) and opens a connection with
// a well-formed connect record. The endpoint must refuse it.
#include "kvsupport/ipc/DataMessageTranceiver.h"

#include "ipc/MessageFrame_p.h"

#include "common/ChildProcess.h"
#include "common/EndpointDir.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uid_t kNobody = 65534;

class Listener : public DataMessageTranceiver {
public:
  Listener(const std::string &name, const std::string &peer)
      : DataMessageTranceiver(name.c_str(), peer.c_str(), false) {}
  int connects = 0;

protected:
  void receiveConnect(bool) override { ++connects; }
};

// 0: the connection was closed on us without a byte of answer.
int connectAsAnotherUser() {
  if (::seteuid(kNobody) != 0)
    return 2;
  ::setfsuid(0);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = kvtest::env("KV_SOCKET");
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
    return 3;
  kv::ipc::ConnectRecord record;
  record.processName = kvtest::env("KV_NAME");
  record.processId = static_cast<uint32_t>(::getpid());
  const std::vector<char> payload = kv::ipc::encodeConnectRecord(record);
  kv::ipc::FrameHeader header;
  header.kind = kv::ipc::kKindConnect;
  header.length = static_cast<uint32_t>(payload.size());
  unsigned char head[kv::ipc::kFrameHeaderBytes];
  kv::ipc::encodeFrameHeader(header, head);
  std::string frame(reinterpret_cast<char *>(head), sizeof head);
  frame.append(payload.begin(), payload.end());
  // The endpoint may close the connection before the record is written.
  char answer;
  const bool written = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(frame.size());
  const int outcome = !written || ::read(fd, &answer, 1) <= 0 ? 0 : 5;
  ::close(fd);
  return outcome;
}

// Root again at the end: the leak checker at exit needs it.
int runForeignConnector() {
  const int outcome = connectAsAnotherUser();
  return ::seteuid(0) == 0 ? outcome : 6;
}

TEST(ForeignUserTest, ConnectionOfAnotherUserIsRefused) {
  if (kvtest::childRole() == "foreign")
    std::exit(runForeignConnector());
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root to take another user id";
  kvtest::EndpointDir dir;
  {
    const std::string name = kvtest::uniqueName("L"), peer = kvtest::uniqueName("F");
    Listener listener(name, peer);
    ASSERT_FALSE(listener.hasFatalError());
    const std::string socket = dir.dir() + "/" + std::to_string(listener.getHandle());
    auto child = kvtest::startChild("ForeignUserTest.ConnectionOfAnotherUserIsRefused", "foreign",
                                    {{"KV_SOCKET", socket}, {"KV_NAME", peer}});
    // The listener serves while the child tries.
    ASSERT_TRUE(kvtest::waitUntil([&] {
      listener.waitForMessage(20);
      return child->waitForFinished(0) || child->state() == QProcess::NotRunning;
    }));
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child->exitCode(), 0);
    EXPECT_EQ(listener.connects, 0);
    EXPECT_FALSE(listener.isConnected());
  }
}

} // namespace
