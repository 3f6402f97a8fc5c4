#include "ui/sound_player.h"

#include "foundation/log.h"

namespace sorvani::ui {

namespace {

ISoundPlayer*& CurrentPlayer() {
  static ISoundPlayer* player = nullptr;
  return player;
}

}  // namespace

void CSilentSoundPlayer::Play(unsigned id) {
  LogFile.Write(2, "Sound %u not played: this build has no audio output\n", id);
}

ISoundPlayer& SoundPlayer() {
  static CSilentSoundPlayer silent;
  ISoundPlayer* player = CurrentPlayer();
  return player ? *player : silent;
}

void SetSoundPlayer(ISoundPlayer* player) { CurrentPlayer() = player; }

}  // namespace sorvani::ui
