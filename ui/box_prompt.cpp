#include "ui/box_prompt.h"

#include <QThread>

namespace sorvani::ui {

CBoxPrompt::CBoxPrompt(QWidget* owner, RichBoxOptions options)
    : m_owner(owner), m_options(std::move(options)) {}

PromptButton CBoxPrompt::AskHere(const PromptRequest& request) {
  return CRichMessageBox::Ask(request, m_options, m_owner);
}

PromptButton CBoxPrompt::Ask(const PromptRequest& request) {
  if (QThread::currentThread() == thread()) return AskHere(request);
  PromptButton answer = request.Default();
  // The worker blocks here while the box runs its own event loop on the UI thread.
  QMetaObject::invokeMethod(
      this, [&] { answer = AskHere(request); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace sorvani::ui
