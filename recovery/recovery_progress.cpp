#include "recovery/recovery_progress.h"

#include "foundation/res_strings.h"

namespace sorvani {

void RecoveryProgress::RecomputeTotalPercent() {
  if (bytesExpected == 0) {
    totalPercent = 100;
    return;
  }
  // Sizes come from records that may be hostile: work in floating point so nothing wraps.
  double percent = static_cast<double>(bytesProcessed) * 100.0 / static_cast<double>(bytesExpected);
  totalPercent = percent >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(percent);
}

void CRecoveryProgress::SetStatusText(std::string text) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_record.statusText = std::move(text);
}

void CRecoveryProgress::SetStatus(unsigned id) { SetStatusText(LoadResString(id)); }

void CRecoveryProgress::SetStatus(unsigned id, const std::string& reason, const std::string& path) {
  SetStatusText(LoadResString(id) + " " + reason + " (" + path + ")");
}

double ClockMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace sorvani
