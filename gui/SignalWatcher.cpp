#include "SignalWatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// The pipe's ends; -1 while no watcher exists. The handler reads the write
// end, hence an atomic (lock-free for int, so safe in a handler).
std::atomic<int> writeEnd{-1};
int readEnd = -1;
struct sigaction previousInt;
struct sigaction previousTerm;

extern "C" void onStopSignal(int number) {
  const int savedErrno = errno;
  const int fd = writeEnd.load();
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a stop request: dropping this one is fine.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
  if (writeEnd.load() >= 0) {
    return;
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  readEnd = ends[0];
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
  notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
}

SignalWatcher::~SignalWatcher() {
  if (notifier_ == nullptr) {
    return;
  }
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  delete notifier_;
  const int fd = writeEnd.exchange(-1);
  ::close(fd);
  ::close(readEnd);
  readEnd = -1;
}

void SignalWatcher::readPipe() {
  unsigned char bytes[16];
  ssize_t count = 0;
  int last = 0;
  while ((count = ::read(readEnd, bytes, sizeof bytes)) > 0) {
    last = bytes[count - 1];
  }
  if (last != 0) {
    emit received(last);
  }
}
