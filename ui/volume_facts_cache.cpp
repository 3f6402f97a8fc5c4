#include "ui/volume_facts_cache.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace sorvani::ui {

namespace {

DriveFacts ReadFacts(char letter) {
  DriveFacts facts;
  facts.known = GetVolumeInformation(letter, facts.info);
  return facts;
}

}  // namespace

CVolumeFactsCache::CVolumeFactsCache(QObject* parent) : QObject(parent) {
  // One read at a time: the reads share the drive tables and may share a device.
  m_pool.setMaxThreadCount(1);
}

CVolumeFactsCache::~CVolumeFactsCache() {
  m_pool.clear();
  m_pool.waitForDone();
}

const DriveFacts* CVolumeFactsCache::Find(char letter) {
  auto found = m_facts.find(letter);
  if (found != m_facts.end()) return &found->second;
  Request(letter);
  return nullptr;
}

void CVolumeFactsCache::Request(char letter) {
  if (m_facts.count(letter) || m_pending.count(letter)) return;
  m_pending.insert(letter);
  const unsigned generation = m_generation;
  m_pool.start([this, generation, letter] {
    DriveFacts facts = ReadFacts(letter);
    // Queued to the cache's thread; dropped with the cache if it is gone by then (its
    // destructor waits for this task, so `this` is still a valid receiver here).
    QMetaObject::invokeMethod(
        this, [this, generation, letter, facts] { Deliver(generation, letter, facts); },
        Qt::QueuedConnection);
  });
}

void CVolumeFactsCache::Deliver(unsigned generation, char letter, const DriveFacts& facts) {
  if (generation != m_generation) return;  // read before the tables changed
  m_pending.erase(letter);
  m_facts[letter] = facts;
  emit factsReady(letter);
}

DriveFacts CVolumeFactsCache::ReadNow(char letter) {
  // The queued reads are dropped (asked again on the next need) so the wait is one read long.
  m_pool.clear();
  m_pool.waitForDone();
  ++m_generation;
  m_pending.clear();
  DriveFacts facts = ReadFacts(letter);
  m_facts[letter] = facts;
  emit factsReady(letter);
  return facts;
}

void CVolumeFactsCache::Forget() {
  m_pool.clear();
  m_pool.waitForDone();
  ++m_generation;
  m_pending.clear();
  m_facts.clear();
}

bool CVolumeFactsCache::WaitForReads(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!m_pending.empty()) {
    if (deadline.hasExpired()) return false;
    m_pool.waitForDone(10);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace sorvani::ui
