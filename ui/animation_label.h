// A looping animation from the resource library: a frame set (u32 LE frame count, u32 LE delay in
// milliseconds, then per frame a u32 LE byte count and that many bytes of PNG) shown frame by frame
// on a timer.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class QTimer;

namespace sorvani::ui {

struct FrameSetLayout {
  struct Frame {
    std::size_t offset = 0;  // of the frame's PNG bytes in the blob
    std::size_t size = 0;
  };
  unsigned delayMs = 0;  // already brought into [kMinFrameDelayMs, kMaxFrameDelayMs]
  std::vector<Frame> frames;
};

inline constexpr std::uint32_t kMaxFrames = 1024;
inline constexpr unsigned kMinFrameDelayMs = 20;  // a zero delay would spin the UI thread
inline constexpr unsigned kMaxFrameDelayMs = 10000;

// Checks a frame set and finds its frames without copying them. False for a blob shorter than its
// header or its frames claim, without frames, with more than kMaxFrames, with an empty frame or
// with bytes after the last frame.
bool ParseFrameSet(std::span<const std::uint8_t> blob, FrameSetLayout& layout);

class CAnimationLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CAnimationLabel(QWidget* parent = nullptr);

  // Loads animation `id` (kResAnimation) of the resource library; false when absent or broken.
  bool SetAnimation(unsigned id);
  // Loads a frame set from bytes. Frames that do not decode are left out; false when none is left.
  bool SetFrameSet(const QByteArray& blob);

  void Start();
  void Stop();  // keeps the frame shown
  bool IsRunning() const;

  int FrameCount() const { return static_cast<int>(m_frames.size()); }
  int CurrentFrame() const { return m_current; }
  int DelayMs() const;

 private:
  void Step();

  std::vector<QPixmap> m_frames;
  int m_current = 0;
  QTimer* m_timer;
};

}  // namespace sorvani::ui
