// Short sounds of the resource library (a folder filled, a job done), behind one seam: the build
// has no audio output, so the program's player is silent and says so in the log; tests put a
// recording player in its place.
#pragma once

#include <vector>

namespace sorvani::ui {

class ISoundPlayer {
 public:
  virtual ~ISoundPlayer() = default;
  // Starts sound `id` (kResSound) and returns at once.
  virtual void Play(unsigned id) = 0;
};

// Plays nothing; logs each request at level 2.
class CSilentSoundPlayer : public ISoundPlayer {
 public:
  void Play(unsigned id) override;
};

// Keeps the numbers asked for, for tests.
class CRecordingSoundPlayer : public ISoundPlayer {
 public:
  void Play(unsigned id) override { m_played.push_back(id); }
  const std::vector<unsigned>& Played() const { return m_played; }

 private:
  std::vector<unsigned> m_played;
};

// The player windows use: the silent one unless another was set.
ISoundPlayer& SoundPlayer();
// Replaces the player (the caller keeps ownership); nullptr restores the silent one.
void SetSoundPlayer(ISoundPlayer* player);

}  // namespace sorvani::ui
