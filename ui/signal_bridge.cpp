#include "ui/signal_bridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace sorvani::ui {

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  // A full pipe already holds a pending request; dropping this one loses nothing.
  [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

CSignalBridge::CSignalBridge(QObject* parent) : QObject(parent) {}

CSignalBridge::~CSignalBridge() {
  if (!m_installed) return;
  for (int number : kSignals) std::signal(number, SIG_DFL);
  m_notifier.reset();
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

bool CSignalBridge::Install() {
  if (m_installed) return true;
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &CSignalBridge::Drain);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kSignals) sigaction(number, &action, nullptr);
  m_installed = true;
  return true;
}

void CSignalBridge::Drain() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = read(g_pipe[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i) emit closeRequested(bytes[i]);
}

}  // namespace sorvani::ui
