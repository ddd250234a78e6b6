#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal in the thread that made the
// watcher (the GUI thread), so that they can close the window as its close
// button does. The handler only writes the signal's number into a pipe
// (write is async-signal-safe); a QSocketNotifier on the pipe's other end
// reads it in the event loop and emits `received`. A signal that arrives
// before the event loop runs is delivered once it does.
//
// One watcher at a time: a second one installs nothing (isWatching false).
class SignalWatcher : public QObject {
  Q_OBJECT

 public:
  explicit SignalWatcher(QObject* parent = nullptr);
  // Gives SIGINT and SIGTERM their previous handlers back and closes the pipe.
  ~SignalWatcher() override;
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  bool isWatching() const { return notifier_ != nullptr; }

 signals:
  void received(int signalNumber);

 private:
  void readPipe();

  QSocketNotifier* notifier_ = nullptr;
};
