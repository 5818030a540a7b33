// Transceiver traffic to a peer in another (forked) process, against the
// plain mechanisms underneath: a synchronous 64-byte record against a
// 64-byte QLocalSocket ping-pong, and a 1 MiB copy-data text object against
// 1 MiB over a raw stream socketpair answered by one byte.
#include "BenchRatios.h"

#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSmall = 64;
constexpr int kLarge = 1 << 20;

std::string uniqueName(const char *what) {
  static int counter = 0;
  return std::string("kvbench-") + what + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++);
}

// The child's side: a fresh application object, then `serve` until the
// parent is gone. Never returns.
template <class Serve> [[noreturn]] void runChild(int ready, Serve serve) {
  int argc = 1;
  char arg0[] = "kvbench-peer";
  char *argv[] = {arg0, nullptr};
  QCoreApplication app(argc, argv);
  serve(ready);
  ::_exit(0);
}

void signalReady(int fd) {
  const char byte = 1;
  if (::write(fd, &byte, 1) != 1)
    ::_exit(3);
  ::close(fd);
}

void awaitReady(int fd) {
  char byte;
  if (::read(fd, &byte, 1) != 1)
    std::abort();
  ::close(fd);
}

class Sink : public SimFeDataTransceiver {
public:
  using SimFeDataTransceiver::SimFeDataTransceiver;
  bool done = false;

protected:
  void processExited() override { done = true; }
};

// Forks a transceiver peer titled `name` that serves until its peer leaves.
pid_t startTransceiverPeer(const std::string &name, const std::string &peer) {
  int pipe[2];
  if (::pipe(pipe) != 0)
    std::abort();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe[0]);
    runChild(pipe[1], [&](int ready) {
      Sink sink(name.c_str(), peer.c_str());
      sink.setReceiveObject(YRef<CopyDataObject>(new CopyDataTextObject), 1);
      signalReady(ready);
      while (!sink.done)
        sink.waitForMessage(1000);
    });
  }
  ::close(pipe[1]);
  awaitReady(pipe[0]);
  return pid;
}

void reap(pid_t pid) {
  int status;
  ::waitpid(pid, &status, 0);
}

void BM_TransceiverRoundTrip(benchmark::State &state) {
  const std::string a = uniqueName("A"), b = uniqueName("B");
  pid_t peer = startTransceiverPeer(b, a);
  {
    DataMessageTranceiver self(a.c_str(), b.c_str(), false);
    if (!self.connect(nullptr, 0)) {
      state.SkipWithError("no connection");
    } else {
      std::vector<char> record(kSmall, 'x');
      auto *message = reinterpret_cast<UserDataMessage *>(record.data());
      message->messageId = 30; // no receiver: the peer takes and drops it
      message->size = kSmall;
      for (auto _ : state)
        if (!self.sendMessage(message))
          state.SkipWithError("send failed");
    }
  }
  reap(peer);
}
BENCHMARK(BM_TransceiverRoundTrip)->UseRealTime();

void BM_QLocalSocketRoundTrip(benchmark::State &state) {
  const QString name = QString::fromStdString(uniqueName("local"));
  int pipe[2];
  if (::pipe(pipe) != 0)
    std::abort();
  pid_t peer = ::fork();
  if (peer == 0) {
    ::close(pipe[0]);
    runChild(pipe[1], [&](int ready) {
      QLocalServer server;
      QLocalServer::removeServer(name);
      server.listen(name);
      signalReady(ready);
      if (!server.waitForNewConnection(30000))
        return;
      QLocalSocket *socket = server.nextPendingConnection();
      QObject::connect(socket, &QLocalSocket::readyRead, [socket] {
        QByteArray bytes = socket->readAll();
        socket->write(bytes);
      });
      QObject::connect(socket, &QLocalSocket::disconnected, [] { QCoreApplication::quit(); });
      QCoreApplication::exec();
    });
  }
  ::close(pipe[1]);
  awaitReady(pipe[0]);
  {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(10000)) {
      state.SkipWithError("no connection");
    } else {
      const QByteArray ping(kSmall, 'x');
      for (auto _ : state) {
        socket.write(ping);
        socket.waitForBytesWritten(-1);
        qint64 got = 0;
        while (got < kSmall) {
          if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(10000))
            break;
          got += socket.read(kSmall - got).size();
        }
      }
      socket.disconnectFromServer();
    }
  }
  reap(peer);
}
BENCHMARK(BM_QLocalSocketRoundTrip)->UseRealTime();

void BM_CopyData1MiB(benchmark::State &state) {
  const std::string a = uniqueName("FE"), b = uniqueName("SIM");
  pid_t peer = startTransceiverPeer(b, a);
  {
    SimFeDataTransceiver self(a.c_str(), b.c_str());
    if (!self.connect(nullptr, 0)) {
      state.SkipWithError("no connection");
    } else {
      CopyDataTextObject text(YString(std::string(kLarge, 'y').c_str()));
      for (auto _ : state)
        if (!self.sendSimFeMessage(&text, 1))
          state.SkipWithError("send failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * kLarge);
  reap(peer);
}
BENCHMARK(BM_CopyData1MiB)->UseRealTime();

void BM_Socketpair1MiB(benchmark::State &state) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
    std::abort();
  pid_t peer = ::fork();
  if (peer == 0) {
    ::close(pair[0]);
    std::vector<char> buffer(kLarge);
    for (;;) {
      size_t got = 0;
      while (got < buffer.size()) {
        ssize_t n = ::read(pair[1], buffer.data() + got, buffer.size() - got);
        if (n <= 0)
          ::_exit(0);
        got += static_cast<size_t>(n);
      }
      const char ack = 1;
      if (::write(pair[1], &ack, 1) != 1)
        ::_exit(0);
    }
  }
  ::close(pair[1]);
  std::vector<char> data(kLarge, 'y');
  for (auto _ : state) {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = ::write(pair[0], data.data() + sent, data.size() - sent);
      if (n <= 0)
        break;
      sent += static_cast<size_t>(n);
    }
    char ack;
    if (::read(pair[0], &ack, 1) != 1)
      state.SkipWithError("peer gone");
  }
  state.SetBytesProcessed(state.iterations() * kLarge);
  ::close(pair[0]);
  reap(peer);
}
BENCHMARK(BM_Socketpair1MiB)->UseRealTime();

} // namespace

KV_BENCH_RATIO(BM_TransceiverRoundTrip, BM_QLocalSocketRoundTrip, 1.0);
KV_BENCH_RATIO(BM_CopyData1MiB, BM_Socketpair1MiB, 1.25);
