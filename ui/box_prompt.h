// The desktop program's answer to a recovery run's questions: each question becomes a rich message
// box on the UI thread, while the run's worker thread waits for the answer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "recovery/recovery_types.h"
#include "ui/rich_message_box.h"

namespace sorvani::ui {

// A QObject only for its thread affinity: the boxes are shown on the thread it lives on.
class CBoxPrompt : public QObject, public IRecoverPrompt {
 public:
  // Lives on the UI thread. `owner` (the progress window) owns the boxes while it exists, else
  // the active window does. The UI thread must never wait for a worker that may be asking.
  explicit CBoxPrompt(QWidget* owner = nullptr, RichBoxOptions options = {});

  // Any thread. Blocks until the person has answered.
  PromptButton Ask(const PromptRequest& request) override;

 private:
  PromptButton AskHere(const PromptRequest& request);

  QPointer<QWidget> m_owner;
  RichBoxOptions m_options;
};

}  // namespace sorvani::ui
