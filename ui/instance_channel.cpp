#include "ui/instance_channel.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

namespace sorvani::ui {

namespace {
constexpr char kActivate[] = "activate\n";
}

QString ActivationSocketPath(const QString& instanceFolder) {
  return instanceFolder + QStringLiteral("/activate.sock");
}

CInstanceServer::CInstanceServer(QObject* parent) : QObject(parent) {
  m_server.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&m_server, &QLocalServer::newConnection, this, &CInstanceServer::Accept);
}

bool CInstanceServer::Listen(const QString& instanceFolder) {
  const QString path = ActivationSocketPath(instanceFolder);
  QLocalServer::removeServer(path);
  return m_server.listen(path);
}

void CInstanceServer::Accept() {
  while (QLocalSocket* socket = m_server.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // Anything beyond the one short request is ignored; a peer cannot make us buffer more.
      const QByteArray line = socket->read(64);
      if (line.startsWith(kActivate)) emit activationRequested();
      socket->disconnectFromServer();
    });
  }
}

bool WakeRunningInstance(const QString& instanceFolder, int timeoutMs) {
  const QString path = ActivationSocketPath(instanceFolder);
  QElapsedTimer clock;
  clock.start();
  do {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(200)) {
      socket.write(kActivate);
      const bool sent = socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      return sent;
    }
    QThread::msleep(100);
  } while (clock.elapsed() < timeoutMs);
  return false;
}

}  // namespace sorvani::ui
