// How a second start wakes the running instance: the first listens on a local socket in the
// private instance folder (beside the lock), a second start connects and asks to be shown.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace sorvani::ui {

// Path of the activation socket in the instance folder.
QString ActivationSocketPath(const QString& instanceFolder);

class CInstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit CInstanceServer(QObject* parent = nullptr);
  // Listens in `instanceFolder`. Only the holder of the instance lock calls this, so a socket
  // file already there was left by a process that ended and is removed first.
  bool Listen(const QString& instanceFolder);

 signals:
  void activationRequested();

 private:
  void Accept();
  QLocalServer m_server;
};

// Asks the running instance to show its window. Retries until `timeoutMs` pass, because the
// first instance may still be starting (lock held, socket not yet listening). True when the
// request was delivered.
bool WakeRunningInstance(const QString& instanceFolder, int timeoutMs = 3000);

}  // namespace sorvani::ui
