// SIGTERM, SIGINT and SIGHUP as close requests: the handler only writes the signal's number to a
// pipe, and a socket notifier turns it into a signal on the UI thread, where the closing sequence
// may run.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace sorvani::ui {

class CSignalBridge : public QObject {
  Q_OBJECT
 public:
  explicit CSignalBridge(QObject* parent = nullptr);
  ~CSignalBridge() override;
  // Installs the handlers; false when the pipe cannot be made (the signals then keep their
  // default action). One bridge per process.
  bool Install();

 signals:
  void closeRequested(int signalNumber);

 private:
  void Drain();
  std::unique_ptr<QSocketNotifier> m_notifier;
  bool m_installed = false;
};

}  // namespace sorvani::ui
