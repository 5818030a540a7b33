// kvtool ipc: serves, talks to and lists the transceiver endpoints of this
// user, one tab-separated line per event.
#include "Command.h"

#include <kvsupport/ipc/SimFeDataTransceiver.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace kvtool {
namespace {

const char kName[] = "ipc";

bool parseInt(const std::string &text, long low, long high, int *out) {
  if (text.empty())
    return false;
  char *end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high)
    return false;
  *out = static_cast<int>(value);
  return true;
}

const char *errorText(TransceiverError error) {
  switch (error) {
  case TransceiverOk:
    return "failed";
  case TransceiverNotConnected:
    return "not connected";
  case TransceiverPeerGone:
    return "peer gone";
  case TransceiverTimedOut:
    return "timed out";
  case TransceiverQueueFull:
    return "queue full";
  case TransceiverTooLarge:
    return "too large";
  case TransceiverBadArgument:
    return "bad argument";
  }
  return "failed";
}

int failure(const std::string &name, const std::string &why) {
  std::fprintf(stderr, "kvtool %s: %s: %s\n", kName, name.c_str(), why.c_str());
  return ExitFailure;
}

// One application object for the command's event loops.
QCoreApplication &application() {
  static int argc = 1;
  static char arg0[] = "kvtool";
  static char *argv[] = {arg0, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// SIGINT and SIGTERM end the event loop, so that the endpoint's files go
// with its destructor: the handler only writes a byte to a pipe.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
  const char byte = 1;
  ssize_t ignored = ::write(signalPipe[1], &byte, 1);
  (void)ignored;
}

void quitOnSignals(QObject *context) {
  if (::pipe2(signalPipe, O_CLOEXEC) != 0)
    return;
  auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context,
                   [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

std::string oneLine(const char *text) {
  std::string line(text);
  for (char &c : line)
    if (c == '\n' || c == '\t')
      c = ' ';
  return line;
}

class Server;

// The object registered for every message id: prints the text and answers
// remote calls with "echo " + text.
class EchoObject : public CopyDataTextObject {
public:
  EchoObject(Server *server, int id) : server_(server), id_(id) {}
  void readBlock(void **cursor, DataMessageTranceiver *receiver) override;
  bool function() override {
    YString answer("echo ");
    answer &= getText();
    setText(answer);
    return true;
  }

private:
  Server *server_;
  int id_;
};

class Server : public SimFeDataTransceiver {
public:
  Server(const char *name, int count) : SimFeDataTransceiver(name, ""), left_(count) {
    for (int id = 0; id < kCopyDataMessageIdCount; ++id)
      setReceiveObject(YRef<CopyDataObject>(new EchoObject(this, id)), id);
  }
  void record() {
    std::fflush(stdout);
    if (left_ > 0 && --left_ == 0) {
      left_ = -1;
      QCoreApplication::quit();
    }
  }

protected:
  void processExited() override {
    std::printf("exited\n");
    std::fflush(stdout);
    // With a count, peers may come and go until it is reached.
    if (left_ == 0)
      QCoreApplication::quit();
  }
  void receiveConnect(bool) override {
    std::printf("connected\t%s\t%d\n", oneLine(getPeerProcessName().tocs()).c_str(),
                getPeerProcessId());
    std::fflush(stdout);
  }
  void receiveCommand(const YString &text, CommandMode mode) override {
    std::printf("command\t%d\t%s\n", static_cast<int>(mode), oneLine(text.tocs()).c_str());
    record();
  }
  using SimFeDataTransceiver::receiveMessage;
  void receiveMessage(void *, int length) override {
    std::printf("bytes\t%d\n", length);
    record();
  }

private:
  int left_;
};

void EchoObject::readBlock(void **cursor, DataMessageTranceiver *receiver) {
  CopyDataTextObject::readBlock(cursor, receiver);
  std::printf("object\t%d\t%s\n", id_, oneLine(getText().tocs()).c_str());
  server_->record();
}

int serve(const Args &operands, int count) {
  if (operands.size() != 1)
    return usageError(kName, "serve takes one NAME");
  application();
  Server server(operands[0].c_str(), count);
  if (server.hasFatalError())
    return failure(operands[0], server.getFatalMsg().tocs());
  QObject context;
  quitOnSignals(&context);
  std::printf("endpoint\t%s\t%d\n", operands[0].c_str(), server.getHandle());
  std::fflush(stdout);
  QCoreApplication::exec();
  return ExitOk;
}

struct SendOptions {
  int mode = 0;
  bool bytes = false;
  int object = -1;
  bool post = false;
  int call = -1;
};

int send(const Args &operands, const SendOptions &options) {
  if (operands.size() != 2)
    return usageError(kName, "send takes NAME TEXT");
  const std::string &name = operands[0];
  const YString text(operands[1].c_str());
  application();
  const std::string own = "kvtool-send-" + std::to_string(::getpid());
  SimFeDataTransceiver self(own.c_str(), name.c_str());
  if (self.hasFatalError())
    return failure(name, self.getFatalMsg().tocs());
  if (!self.connect(nullptr, 0))
    return failure(name, "no live endpoint of that name");
  bool ok;
  long bytes;
  if (options.call >= 0) {
    auto *object = new CopyDataTextObject(text);
    YRef<CopyDataObject> held(object);
    if (!self.callRemoteFunction(held, options.call))
      return failure(name, errorText(self.getLastError()));
    std::printf("answer\t%s\n", oneLine(object->getText().tocs()).c_str());
    return ExitOk;
  }
  if (options.bytes) {
    bytes = text.length();
    ok = self.sendMessage(const_cast<char *>(text.tocs()), text.length());
  } else if (options.object >= 0) {
    CopyDataTextObject object(text);
    bytes = object.getBlockBytes() + static_cast<long>(kCopyDataMessageOverhead);
    ok = options.post ? self.postSimFeMessage(&object, options.object)
                      : self.sendSimFeMessage(&object, options.object);
  } else {
    bytes = text.length() + 1;
    ok = self.sendCommand(text, static_cast<CommandMode>(options.mode));
  }
  if (!ok)
    return failure(name, errorText(self.getLastError()));
  std::printf("sent\t%ld\n", bytes);
  return ExitOk;
}

int test(const Args &operands) {
  if (operands.size() != 2)
    return usageError(kName, "test takes NAME RECEIVER");
  application();
  const std::string own = "kvtool-test-" + std::to_string(::getpid());
  DataMessageTranceiver self(own.c_str(), operands[0].c_str(), false);
  if (self.hasFatalError())
    return failure(operands[0], self.getFatalMsg().tocs());
  if (!self.connect(nullptr, 0))
    return failure(operands[0], "no live endpoint of that name");
  const bool has = self.testCommand(YString(operands[1].c_str()));
  if (!has && self.getLastError() != TransceiverOk)
    return failure(operands[0], errorText(self.getLastError()));
  std::printf("receiver\t%s\t%s\n", operands[1].c_str(), has ? "yes" : "no");
  return ExitOk;
}

int list(const Args &operands) {
  if (!operands.empty())
    return usageError(kName, "list takes no operands");
  int removed = 0;
  for (const TransceiverEndpoint &endpoint : sp_ListTransceiverEndpoints(&removed))
    std::printf("%d\t%s\n", endpoint.handle, oneLine(endpoint.title.tocs()).c_str());
  std::printf("removed\t%d\n", removed);
  return ExitOk;
}

int run(const Args &args) {
  if (args.empty())
    return usageError(kName, "give serve, send, test or list");
  const std::string verb = args[0];
  Args operands;
  SendOptions send_;
  int count = 0;
  bool onlyOperands = false;
  int kinds = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (onlyOperands || arg.rfind("--", 0) != 0) {
      operands.push_back(arg);
      continue;
    }
    auto value = [&](int *out, long low, long high) {
      if (i + 1 >= args.size() || !parseInt(args[i + 1], low, high, out))
        return false;
      ++i;
      return true;
    };
    if (arg == "--") {
      onlyOperands = true;
    } else if (arg == "--count" && verb == "serve") {
      if (!value(&count, 1, INT_MAX))
        return usageError(kName, "--count takes a positive number");
    } else if (arg == "--mode" && verb == "send") {
      if (!value(&send_.mode, INT_MIN, INT_MAX))
        return usageError(kName, "--mode takes a number");
      ++kinds;
    } else if (arg == "--bytes" && verb == "send") {
      send_.bytes = true;
      ++kinds;
    } else if (arg == "--object" && verb == "send") {
      if (!value(&send_.object, 0, kCopyDataMessageIdCount - 1))
        return usageError(kName, "--object takes an id from 0 to 22");
      ++kinds;
    } else if (arg == "--post" && verb == "send") {
      send_.post = true;
    } else if (arg == "--call" && verb == "send") {
      if (!value(&send_.call, 0, kCopyDataMessageIdCount - 1))
        return usageError(kName, "--call takes an id from 0 to 22");
      ++kinds;
    } else {
      return usageError(kName, "unknown option " + arg);
    }
  }
  if (kinds > 1)
    return usageError(kName, "give one of --mode, --bytes, --object, --call");
  if (send_.post && send_.object < 0)
    return usageError(kName, "--post goes with --object");
  if (verb == "serve")
    return serve(operands, count);
  if (verb == "send")
    return send(operands, send_);
  if (verb == "test")
    return test(operands);
  if (verb == "list")
    return list(operands);
  return usageError(kName, "unknown verb " + verb);
}

const CommandRegistration registration({kName,
                                        "serve NAME [--count N] | send NAME TEXT [--mode M | "
                                        "--bytes | --object ID [--post] | --call ID] | test NAME "
                                        "RECEIVER | list",
                                        "serves, talks to and lists this user's transceiver "
                                        "endpoints",
                                        run});

} // namespace
} // namespace kvtool
