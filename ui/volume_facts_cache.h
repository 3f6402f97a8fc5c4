// Label, file system and sizes of each drive, read once per letter on a worker: reading them
// opens the drive, which can take seconds on a slow or failing one, so tooltips never wait.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <map>
#include <set>

#include "app/volume_facts.h"

namespace sorvani::ui {

struct DriveFacts {
  bool known = false;  // false: the letter is in no drive table
  VolumeInformation info;
  // Whether the volume information could be read at all: the letter is known and its file
  // system was recognised and, when it was opened, it opened (an empty drive, an unknown file
  // system or an image that is gone reads as not readable).
  bool Readable() const { return known && !info.fsName.empty() && !info.unopenable; }
};

class CVolumeFactsCache : public QObject {
  Q_OBJECT

 public:
  explicit CVolumeFactsCache(QObject* parent = nullptr);
  ~CVolumeFactsCache() override;

  // The facts of `letter` read so far; nullptr while they are not (a read is then queued and
  // factsReady follows).
  const DriveFacts* Find(char letter);
  // Queues a read unless the facts are cached or already on their way.
  void Request(char letter);
  // Reads the facts afresh on the calling thread (after the read in flight, if any) and caches
  // them; for a decision that cannot wait for the worker and must see a medium changed since.
  DriveFacts ReadNow(char letter);
  // Forgets every answer and waits for the read in flight. Call before the drive tables
  // change (opening an image): the reads look the letters up in those tables.
  void Forget();
  // Blocks until every queued read has been delivered to the cache (tests).
  bool WaitForReads(int timeoutMs);

 signals:
  void factsReady(char letter);

 private:
  void Deliver(unsigned generation, char letter, const DriveFacts& facts);

  std::map<char, DriveFacts> m_facts;
  std::set<char> m_pending;
  unsigned m_generation = 0;
  QThreadPool m_pool;
};

}  // namespace sorvani::ui
