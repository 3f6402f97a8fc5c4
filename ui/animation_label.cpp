#include "ui/animation_label.h"

#include <QTimer>
#include <algorithm>

#include "foundation/endian.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

bool ReadU32(std::span<const std::uint8_t> blob, std::size_t offset, std::uint32_t& value) {
  if (!FitsIn(blob.size(), offset, 4)) return false;
  value = ReadLe32(blob, offset);
  return true;
}

}  // namespace

bool ParseFrameSet(std::span<const std::uint8_t> blob, FrameSetLayout& layout) {
  layout = {};
  std::uint32_t count = 0;
  std::uint32_t delay = 0;
  if (!ReadU32(blob, 0, count) || !ReadU32(blob, 4, delay)) return false;
  if (count == 0 || count > kMaxFrames) return false;
  FrameSetLayout found;
  found.delayMs = std::clamp<std::uint32_t>(delay, kMinFrameDelayMs, kMaxFrameDelayMs);
  found.frames.reserve(count);
  std::size_t offset = 8;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t size = 0;
    if (!ReadU32(blob, offset, size) || size == 0) return false;
    offset += 4;
    if (!FitsIn(blob.size(), offset, size)) return false;
    found.frames.push_back({offset, size});
    offset += size;
  }
  if (offset != blob.size()) return false;
  layout = std::move(found);
  return true;
}

CAnimationLabel::CAnimationLabel(QWidget* parent) : QLabel(parent), m_timer(new QTimer(this)) {
  setAlignment(Qt::AlignCenter);
  connect(m_timer, &QTimer::timeout, this, &CAnimationLabel::Step);
}

bool CAnimationLabel::SetAnimation(unsigned id) { return SetFrameSet(ResData(kResAnimation, id)); }

bool CAnimationLabel::SetFrameSet(const QByteArray& blob) {
  bool running = IsRunning();
  Stop();
  m_frames.clear();
  m_current = 0;
  clear();
  FrameSetLayout layout;
  auto bytes =
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(blob.constData()),
                                    static_cast<std::size_t>(blob.size()));
  if (!ParseFrameSet(bytes, layout)) return false;
  for (const auto& frame : layout.frames) {
    QPixmap pixmap;
    if (pixmap.loadFromData(bytes.data() + frame.offset, static_cast<uint>(frame.size), "PNG"))
      m_frames.push_back(pixmap);
  }
  if (m_frames.empty()) return false;
  m_timer->setInterval(static_cast<int>(layout.delayMs));
  setPixmap(m_frames.front());
  if (running) Start();
  return true;
}

void CAnimationLabel::Start() {
  if (m_frames.size() > 1) m_timer->start();
}

void CAnimationLabel::Stop() { m_timer->stop(); }

bool CAnimationLabel::IsRunning() const { return m_timer->isActive(); }

int CAnimationLabel::DelayMs() const { return m_timer->interval(); }

void CAnimationLabel::Step() {
  if (m_frames.empty()) return;
  m_current = (m_current + 1) % static_cast<int>(m_frames.size());
  setPixmap(m_frames[static_cast<std::size_t>(m_current)]);
}

}  // namespace sorvani::ui
