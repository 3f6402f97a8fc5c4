// The vocabulary of a recovery run: option bits, the per-item result codes, the cancel event,
// one item of a selection, and the two sinks through which a front end takes part: the
// questions asked while writing (a prompt sink) and the items and failure rows (an event sink).
// The destination and the options are decided before a run starts.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sorvani {

// RecoverFlags.
enum : std::uint32_t {
  RF_ALL_STREAMS = 0x1,        // every $DATA stream, not only the first
  RF_FOLDER_ATTRIBUTES = 0x2,  // recreated folders get their stored attributes
  RF_QUIET = 0x4,              // no prompts: a failure skips the item (the row is still listed)
  RF_RAW_RANGES = 0x8,         // the items are byte ranges of the raw volume
};

// Item results, 32-bit status codes in the HRESULT style; below 0 is a failure.
using RecoverResult = std::int32_t;
inline constexpr RecoverResult REC_S_OK = 0;
inline constexpr RecoverResult REC_S_NOTHING_DONE = 1;
inline constexpr RecoverResult REC_E_IGNORE_ALL = static_cast<RecoverResult>(0x80001234u);
inline constexpr RecoverResult REC_E_SKIPPED = static_cast<RecoverResult>(0x80001235u);
inline constexpr RecoverResult REC_E_ABORT = static_cast<RecoverResult>(0x80004004u);
inline constexpr RecoverResult REC_E_FAIL = static_cast<RecoverResult>(0x80004005u);
inline constexpr RecoverResult REC_E_UNEXPECTED = static_cast<RecoverResult>(0x8000FFFFu);
inline constexpr RecoverResult REC_E_INVALIDARG = static_cast<RecoverResult>(0x80070057u);
// The item was written as far as it could be, but some of its bytes are not the file's:
// the device failed to read them (ERROR_READ_FAULT), they lie past the end of a cut-off
// source (ERROR_HANDLE_EOF), or the record claims more than its runs hold (ERROR_FILE_CORRUPT).
// Unreadable bytes are zeros in the written file; RecoveredItemReport lists where.
inline constexpr RecoverResult REC_E_READ_ERROR = static_cast<RecoverResult>(0x8007001Eu);
inline constexpr RecoverResult REC_E_BEYOND_END = static_cast<RecoverResult>(0x80070026u);
inline constexpr RecoverResult REC_E_DAMAGED = static_cast<RecoverResult>(0x80070570u);

inline bool RecoverFailed(RecoverResult r) { return r < 0; }

// A short fixed text for a result, for lists and machine-readable rows: "ok", "read error",
// "beyond the end of the source", "damaged", "stopped", "skipped", "failed", "nothing done".
const char* RecoverResultText(RecoverResult r);

// A manual-reset event: once set it stays set until Reset. IsSet never waits, so workers can
// test it between units of work; Set may be called from any thread (not from a signal handler).
class ManualResetEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_set.store(true);
    m_changed.notify_all();
  }
  void Reset() { m_set.store(false); }
  bool IsSet() const { return m_set.load(); }
  // True when the event was set within `milliseconds`.
  bool WaitFor(unsigned milliseconds) {
    std::unique_lock<std::mutex> hold(m_mutex);
    return m_changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                              [this] { return m_set.load(); });
  }

 private:
  std::atomic<bool> m_set{false};
  std::mutex m_mutex;
  std::condition_variable m_changed;
};

// One item of a selection as the caller's NextRecoverItem delivers it.
struct RecoverItem {
  std::uint32_t attributes = 0;    // in/out; bit 0x10 marks a folder that may be an orphan folder
  std::uint64_t id = 0;            // MFT record number, or the start unit of a raw range
  std::string name;                // raw ranges: the file name; index items: informative only
  std::uint64_t size = 0;          // data size as the caller's row holds it, or the byte count
  std::uint32_t offsetInUnit = 0;  // raw ranges: the first byte's offset inside its start unit
  // Raw ranges known to stop before their item's end (a carved picture cut short): a
  // ReadFault value, 0 when complete. The written range then counts as that failure.
  int cutShort = 0;
  // Folder below the destination that receives the item, "" for the destination itself;
  // "/"-separated. Lets one run put every item back at its place in the source's tree.
  std::string subfolder;
};

// Returns true while it delivers an item and false once the selection is exhausted; after
// that it starts over, so that each walker sees the whole selection.
using NextRecoverItem = std::function<bool(RecoverItem&)>;

// Questions asked while writing: a modal box with a text, a caption, an icon, a set of buttons
// and a default. The extra buttons are told apart from the standard ones.
enum class PromptButton {
  kYes,
  kNo,
  kOk,
  kCancel,
  kAbort,
  kRetry,
  kIgnore,
  kYesToAll,
  kNoToAll,
  kIgnoreAll,
  kSkipAll,
  kTryAgain,
};

enum class PromptIcon { kInformation, kQuestion, kExclamation, kError };

struct PromptRequest {
  std::string text;
  std::string caption;
  PromptIcon icon = PromptIcon::kInformation;
  std::vector<PromptButton> buttons;
  std::size_t defaultButton = 0;  // index into buttons
  PromptButton Default() const {
    return defaultButton < buttons.size() ? buttons[defaultButton] : PromptButton::kCancel;
  }
};

// The prompt sink. Ask is called on the run's worker thread and blocks it until the person
// (or the front end's rule) has answered; it returns one of request.buttons (anything else
// counts as the default). Captions of the buttons are the front end's to word.
class IRecoverPrompt {
 public:
  virtual ~IRecoverPrompt() = default;
  virtual PromptButton Ask(const PromptRequest& request) = 0;
};

// Bytes of a written item that could not be read and are zeros in the file: `offset` counts
// from the start of the file (or of the alternate stream `stream`, "" for the main data).
struct UnreadableSpan {
  std::string stream;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool beyondEnd = false;  // past the end of the source, else a device error
  int error = 0;           // errno of a device error
};

// What one written item (file, folder or raw range) came to; the front end may list it.
struct RecoveredItemReport {
  std::uint64_t id = 0;              // record number or start unit
  std::string name;                  // the item's name in the source
  std::string destination;           // the path written (after collision naming)
  std::vector<std::string> streams;  // names of the alternate streams written beside it
  RecoverResult result = REC_S_OK;
  std::uint64_t bytes = 0;  // bytes written
  bool folder = false;
  std::vector<UnreadableSpan> unreadable;  // REC_E_READ_ERROR, REC_E_BEYOND_END
  std::uint64_t sizeClaimed = 0;           // REC_E_DAMAGED: the size the record gives
  std::uint64_t dataFound = 0;             // REC_E_DAMAGED: the bytes its runs hold
};

// The event sink. Both calls come on the run's worker thread and must not block: a front end
// copies what it needs and shows it later on its own thread.
class IRecoverEvents {
 public:
  virtual ~IRecoverEvents() = default;
  // A failure row: the status text (at most 255 characters) and the item's destination path.
  virtual void AddFailureRow(const std::string& /*status*/, const std::string& /*path*/) {}
  // Every file, folder and raw range finished, children of recovered folders included.
  virtual void ItemFinished(const RecoveredItemReport& /*report*/) {}
};

}  // namespace sorvani
