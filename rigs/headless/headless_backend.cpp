// Headless backend: the process end, worker threads, the dialog loop with its timers on the
// clock, and injected inputs.
#include "rigs/headless/headless_backend.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>

#include "platform/dialog_template.h"

namespace velkor {
namespace {
thread_local bool headlessWorkerThread = false;
}

HeadlessBackend::HeadlessBackend(Clock& clock)
    : process_(*this), clock_(*this, clock), inner_(clock) {}

HeadlessBackend::~HeadlessBackend() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }
  WaitForWorkers();
}

bool HeadlessBackend::IsWorkerThread() {
  return headlessWorkerThread;
}

void HeadlessBackend::ExitingProcess::Exit(int code) {
  backend_.EndProcess(code);
}

void HeadlessBackend::ExitAwareClock::SleepMs(std::uint32_t milliseconds) {
  backend_.UnwindWorkerIfEnded();
  inner_.SleepMs(milliseconds);
}

void HeadlessBackend::EndProcess(int code) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_) {
      ended_ = true;
      exitCalled_ = true;
      exitCode_ = code;
    }
    changed_.notify_all();
  }
  if (!IsWorkerThread()) {
    WaitForWorkers();
  }
  throw ProcessExited{code};
}

void HeadlessBackend::UnwindIfEnded() {
  bool ended;
  int code;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended = ended_;
    code = exitCode_;
  }
  if (!ended || std::uncaught_exceptions() > 0) {
    return;
  }
  if (!IsWorkerThread()) {
    WaitForWorkers();
  }
  throw ProcessExited{code};
}

void HeadlessBackend::UnwindWorkerIfEnded() {
  if (IsWorkerThread()) {
    UnwindIfEnded();
  }
}

void HeadlessBackend::WaitForWorkers() {
  std::vector<std::thread> finished;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // A worker whose request this thread was serving stops waiting for it.
    if (serving_) {
      serving_->running = false;
      serving_.reset();
      changed_.notify_all();
    }
    changed_.wait(lock, [this] { return liveWorkers_ == 0; });
    finished.swap(workers_);
  }
  for (std::thread& worker : finished) {
    worker.join();
  }
}

int HeadlessBackend::RunProcess(const std::function<int()>& entry) {
  try {
    const int code = entry();
    {
      // Returning from main ends the process as well: later worker calls unwind.
      std::lock_guard<std::mutex> lock(mutex_);
      if (!ended_) {
        ended_ = true;
        exitCode_ = code;
      }
      changed_.notify_all();
    }
    WaitForWorkers();
  } catch (const ProcessExited&) {
    WaitForWorkers();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return exitCode_;
}

bool HeadlessBackend::ExitCalled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return exitCalled_;
}

bool HeadlessBackend::StartThread(ThreadProc proc, void* parameter) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) {
    return false;
  }
  ++liveWorkers_;
  workers_.emplace_back([this, proc, parameter] {
    headlessWorkerThread = true;
    try {
      proc(parameter);
    } catch (const ProcessExited&) {
      // The process ended while this thread ran: it stops where it was.
    }
    std::lock_guard<std::mutex> done(mutex_);
    --liveWorkers_;
    changed_.notify_all();
  });
  return true;
}

void HeadlessBackend::OnDialogThread(const std::function<void()>& work) {
  UnwindIfEnded();
  std::unique_lock<std::mutex> lock(mutex_);
  if (!IsWorkerThread() || !loopRunning_) {
    lock.unlock();
    work();
    return;
  }
  auto request = std::make_shared<Request>();
  request->work = work;
  requests_.push_back(request);
  changed_.notify_all();
  changed_.wait(lock, [&] { return request->done || (ended_ && !request->running); });
  if (!request->done) {
    requests_.erase(std::remove(requests_.begin(), requests_.end(), request), requests_.end());
    const int code = exitCode_;
    lock.unlock();
    throw ProcessExited{code};
  }
}

void HeadlessBackend::Inject(HeadlessInput input, HeadlessTrigger trigger) {
  std::lock_guard<std::mutex> lock(mutex_);
  injections_.push_back({input, std::move(trigger)});
  changed_.notify_all();
}

HeadlessBackend::Injection* HeadlessBackend::NextDueInjectionLocked(bool idle) {
  const std::uint64_t now = inner_.NowMs();
  for (Injection& injection : injections_) {
    if (injection.delivered) {
      continue;
    }
    const HeadlessTrigger& trigger = injection.trigger;
    const bool due =
        (trigger.kind == HeadlessTrigger::Kind::kAtTimeMs && now >= trigger.value) ||
        (trigger.kind == HeadlessTrigger::Kind::kAfterTick && ticks_ >= trigger.value) ||
        (trigger.kind == HeadlessTrigger::Kind::kOnText && injection.armed) ||
        (trigger.kind == HeadlessTrigger::Kind::kWhenIdle && idle);
    if (due) {
      return &injection;
    }
  }
  return nullptr;
}

bool HeadlessBackend::NextWakeLocked(std::uint64_t* wakeMs) const {
  bool any = false;
  for (const Timer& timer : timers_) {
    *wakeMs = any ? std::min(*wakeMs, timer.dueMs) : timer.dueMs;
    any = true;
  }
  for (const Injection& injection : injections_) {
    if (!injection.delivered && injection.trigger.kind == HeadlessTrigger::Kind::kAtTimeMs) {
      *wakeMs = any ? std::min(*wakeMs, injection.trigger.value) : injection.trigger.value;
      any = true;
    }
  }
  return any;
}

void HeadlessBackend::DeliverArmedInputs() {
  for (;;) {
    HeadlessInput input;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Injection* injection = nullptr;
      for (Injection& candidate : injections_) {
        if (!candidate.delivered && candidate.armed) {
          injection = &candidate;
          break;
        }
      }
      if (injection == nullptr) {
        return;
      }
      injection->delivered = true;
      input = injection->input;
    }
    Deliver(input);
  }
}

bool HeadlessBackend::DeliverDueInjection(std::unique_lock<std::mutex>& lock, bool idle) {
  Injection* injection = NextDueInjectionLocked(idle);
  if (injection == nullptr) {
    return false;
  }
  injection->delivered = true;
  const HeadlessInput input = injection->input;
  lock.unlock();
  Deliver(input);
  lock.lock();
  return true;
}

void HeadlessBackend::Deliver(HeadlessInput input) {
  HWND dialog;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dialog = dialog_;
    HeadlessEvent event(HeadlessEvent::Kind::kInput);
    event.value = static_cast<std::int64_t>(input);
    RecordLocked(std::move(event));
  }
  if (dialog == nullptr) {
    return;
  }
  // As the dialog manager turns keys into commands: Enter is the default button (OK),
  // Escape is Cancel; the close button sends WM_CLOSE.
  switch (input) {
    case HeadlessInput::kEnter:
      DispatchToWindow(dialog, kWmCommand, kIdOk, 0);
      break;
    case HeadlessInput::kEscape:
      DispatchToWindow(dialog, kWmCommand, kIdCancel, 0);
      break;
    case HeadlessInput::kClose:
      DispatchToWindow(dialog, kWmClose, 0, 0);
      break;
  }
}

INT_PTR HeadlessBackend::RunModalDialog(int templateId, HWND parent, LPARAM initParam) {
  UnwindIfEnded();
  const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
  if (dialogTemplate == nullptr) {
    return -1;
  }
  HWND dialog;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loopRunning_) {
      return -1;  // one modal dialog at a time
    }
    dialog = CreateWindowLocked(0, "dialog", dialogTemplate->caption, parent);
    for (int i = 0; i < dialogTemplate->controlCount; ++i) {
      const DialogControlTemplate& control = dialogTemplate->controls[i];
      CreateWindowLocked(control.id, control.className, control.text, dialog);
    }
    dialog_ = dialog;
    loopRunning_ = true;
    modalEnded_ = false;
    modalResult_ = 0;
    ticks_ = 0;
  }
  struct CloseOnExit {
    HeadlessBackend* backend;
    ~CloseOnExit() { backend->CloseDialogWindows(); }
  } closeOnExit{this};

  DispatchToWindow(dialog, kWmInitDialog, 0, initParam);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordLocked(HeadlessEvent(HeadlessEvent::Kind::kWindowShown));
  }
  return RunLoop();
}

INT_PTR HeadlessBackend::RunLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (ended_) {
      lock.unlock();
      UnwindIfEnded();
      lock.lock();
    }
    if (modalEnded_) {
      return modalResult_;
    }
    if (!requests_.empty()) {
      std::shared_ptr<Request> request = requests_.front();
      requests_.pop_front();
      request->running = true;
      serving_ = request;
      lock.unlock();
      {
        // Releases the waiting worker however the work ends.
        struct Release {
          HeadlessBackend* backend;
          Request* request;
          bool completed = false;
          ~Release() {
            std::lock_guard<std::mutex> relock(backend->mutex_);
            request->running = false;
            request->done = completed;
            backend->serving_.reset();
            backend->changed_.notify_all();
          }
        } release{this, request.get()};
        request->work();
        // Inputs waiting for a text this request showed are handled before the worker goes on.
        DeliverArmedInputs();
        release.completed = true;
      }
      lock.lock();
      continue;
    }
    if (DeliverDueInjection(lock, false)) {
      continue;
    }
    const std::uint64_t now = inner_.NowMs();
    auto dueTimer = std::find_if(timers_.begin(), timers_.end(),
                                 [now](const Timer& timer) { return timer.dueMs <= now; });
    if (dueTimer != timers_.end()) {
      dueTimer->dueMs = now + dueTimer->periodMs;
      const HWND window = dueTimer->window;
      const UINT_PTR id = dueTimer->id;
      ++ticks_;
      HeadlessEvent event(HeadlessEvent::Kind::kTimerTick);
      event.value = static_cast<std::int64_t>(id);
      event.extra = static_cast<std::int64_t>(ticks_);
      RecordLocked(std::move(event));
      lock.unlock();
      DispatchToWindow(window, kWmTimer, id, 0);
      lock.lock();
      continue;
    }
    std::uint64_t wakeMs = 0;
    if (NextWakeLocked(&wakeMs)) {
      if (liveWorkers_ == 0) {
        // Nothing else can happen before then: move the clock on.
        lock.unlock();
        inner_.SleepMs(static_cast<std::uint32_t>(wakeMs - now));
        lock.lock();
      } else {
        // A worker may move the clock or send a request; look again shortly.
        changed_.wait_for(lock, std::chrono::milliseconds(1));
      }
      continue;
    }
    if (liveWorkers_ > 0) {
      changed_.wait(lock);
      continue;
    }
    if (DeliverDueInjection(lock, true)) {
      continue;
    }
    // No timer, no worker, no input to come: a real dialog would wait forever.
    RecordLocked(HeadlessEvent(HeadlessEvent::Kind::kStalled));
    modalEnded_ = true;
    modalResult_ = -1;
  }
}

void HeadlessBackend::CloseDialogWindows() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Window& window : windows_) {
    window.alive = false;
  }
  timers_.clear();
  loopRunning_ = false;
  dialog_ = nullptr;
  changed_.notify_all();
}

BOOL HeadlessBackend::EndModalDialog(HWND dialog, INT_PTR result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (dialog == nullptr || dialog != dialog_ || !loopRunning_) {
    return 0;
  }
  modalEnded_ = true;
  modalResult_ = result;
  HeadlessEvent event(HeadlessEvent::Kind::kDialogEnded);
  event.value = result;
  RecordLocked(std::move(event));
  changed_.notify_all();
  return 1;
}

void HeadlessBackend::RecordLocked(HeadlessEvent event) {
  event.atMs = inner_.NowMs();
  // Work served for a worker counts as the worker's.
  event.fromWorker = event.fromWorker || IsWorkerThread() || serving_ != nullptr;
  if (event.kind == HeadlessEvent::Kind::kText) {
    for (Injection& injection : injections_) {
      if (!injection.delivered && injection.trigger.kind == HeadlessTrigger::Kind::kOnText &&
          injection.trigger.text == event.text) {
        injection.armed = true;
      }
    }
  }
  events_.push_back(std::move(event));
}

std::vector<HeadlessEvent> HeadlessBackend::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<HeadlessEvent> HeadlessBackend::EventsOf(HeadlessEvent::Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HeadlessEvent> selected;
  for (const HeadlessEvent& event : events_) {
    if (event.kind == kind) {
      selected.push_back(event);
    }
  }
  return selected;
}

void HeadlessBackend::HoldSessionEnd(HWND /*dialog*/, const char* reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessionEndHeld_ = true;
  RecordLocked(HeadlessEvent(HeadlessEvent::Kind::kSessionEndHeld, 0, reason ? reason : ""));
}

void HeadlessBackend::ReleaseSessionEnd(HWND /*dialog*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessionEndHeld_ = false;
  RecordLocked(HeadlessEvent(HeadlessEvent::Kind::kSessionEndReleased));
}

bool HeadlessBackend::SessionEndHeld() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessionEndHeld_;
}

}  // namespace velkor
