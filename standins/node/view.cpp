#include "standins/node/view.h"

#include <cstdio>

#include "standins/node/bindings.h"
#include "standins/node/local_storage.h"
#include "standins/node/page.h"
#include "standins/node/reentry.h"
#include "standins/node/text_codec.h"
#include "standins/node/value_store.h"

namespace node_standin {
namespace {

constexpr UINT kMailboxMessage = WM_APP + 1;
constexpr char kBlankUrl[] = "about:blank";
constexpr int kInitialWidth = 1;
constexpr int kInitialHeight = 1;

std::vector<View*>& DestroyedViews() {
  static auto* views = new std::vector<View*>();
  return *views;
}

}  // namespace

LiveRegistry<EngineString>& EngineStrings() {
  static auto* registry = new LiveRegistry<EngineString>();
  return *registry;
}

LiveRegistry<View>& View::Registry() {
  static auto* registry = new LiveRegistry<View>();
  return *registry;
}

View::View() = default;

View::~View() {
  if (mailbox_) mailbox_->Close();
  KillPageTimers();
  page_.reset();
}

View* View::Create() {
  auto view = std::make_unique<View>();
  if (!view->Initialize()) return nullptr;
  Registry().Add(view.get());
  return view.release();
}

bool View::Initialize() {
  if (!window_.Create(this) || !surface_.Resize(kInitialWidth, kInitialHeight)) return false;
  mailbox_ = std::make_shared<FetchMailbox>(window_.handle(), kMailboxMessage);
  return true;
}

void View::Destroy() {
  Registry().Remove(this);
  std::vector<View*> popups;
  popups.swap(popups_);
  for (View* popup : popups) {
    if (Registry().Contains(popup)) popup->Destroy();
  }
  destroyed_ = true;
  if (mailbox_) mailbox_->Close();
  KillPageTimers();
  if (Reentry::Depth() == 0 && script_depth_ == 0) {
    delete this;
    return;
  }
  DestroyedViews().push_back(this);
}

void View::ReapDestroyed() {
  if (Reentry::Depth() != 0) return;
  std::vector<View*> views;
  views.swap(DestroyedViews());
  for (View* view : views) delete view;
}

void View::OnPaintUpdated(wkePaintUpdatedCallback callback, void* param) {
  paint_callback_ = callback;
  paint_param_ = param;
}

void View::OnLoadingFinish(wkeLoadingFinishCallback callback, void* param) {
  loading_callback_ = callback;
  loading_param_ = param;
}

void View::OnConsole(wkeConsoleCallback callback, void* param) {
  console_callback_ = callback;
  console_param_ = param;
}

void View::MoveHostToCenter() {
  if (!::IsWindow(host_window_)) return;
  RECT window;
  ::GetWindowRect(host_window_, &window);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoW(::MonitorFromWindow(host_window_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    return;
  }
  const RECT& work = monitor.rcWork;
  int width = window.right - window.left, height = window.bottom - window.top;
  int x = work.left + (work.right - work.left - width) / 2;
  int y = work.top + (work.bottom - work.top - height) / 2;
  ::SetWindowPos(host_window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Views start with an empty page, so script can run before the first load.
Page* View::EnsurePage() {
  if (!page_ && !destroyed_) {
    auto page = std::make_unique<Page>(this, kBlankUrl, ++next_page_serial_);
    if (page->Start()) page_ = std::move(page);
  }
  return page_.get();
}

void View::ReplacePage(std::unique_ptr<Page> page) {
  KillPageTimers();
  frames_.clear();
  frame_loads_.clear();
  page_ = std::move(page);
  SchedulePaint();
}

void View::KillPageTimers() {
  for (const auto& timer : timers_) ::KillTimer(window_.handle(), kFirstScriptTimer + timer.first);
  timers_.clear();
}

int64_t View::RunScript(const std::u16string& script) {
  if (!window_.OnOwnerThread() || script_depth_ >= kMaxScriptNesting) {
    std::fprintf(stderr, "node: script refused (%s)\n",
                 window_.OnOwnerThread() ? "nested too deeply" : "not on the view's thread");
    return MakeUndefinedValue();
  }
  Page* page = EnsurePage();
  return page ? page->Evaluate(script) : MakeUndefinedValue();
}

ExecState* View::GlobalExec() {
  Page* page = EnsurePage();
  return page ? page->global_exec() : nullptr;
}

void View::DefineBinding(size_t index) {
  if (!window_.OnOwnerThread()) return;
  if (page_) page_->DefineBindingLater(index);
  for (auto& frame : frames_) {
    if (frame) frame->DefineBindingLater(index);
  }
}

bool View::DispatchInput(const char* type, const std::string& fields_json) {
  if (!window_.OnOwnerThread() || script_depth_ >= kMaxScriptNesting) return false;
  Page* page = EnsurePage();
  return page != nullptr && page->DispatchInput(type, fields_json);
}

void View::LeaveScript(bool settled_changes) {
  --script_depth_;
  if (settled_changes && script_depth_ == 0) SchedulePaint();
}

void View::RaiseConsole(int level, const std::u16string& message, const std::string& source,
                        unsigned line, const std::u16string& stack) {
  if (console_callback_ == nullptr || destroyed_) return;
  EngineString message_string{message};
  EngineString source_string{Cesu8ToUtf16(source)};
  EngineString stack_string{stack};
  Registration<EngineString> a(&EngineStrings(), &message_string);
  Registration<EngineString> b(&EngineStrings(), &source_string);
  Registration<EngineString> c(&EngineStrings(), &stack_string);
  Reentry reentry;
  console_callback_(this, console_param_, level, &message_string, &source_string, line,
                    &stack_string);
}

uint32_t View::StartTimer(uint32_t page_serial, uint32_t milliseconds, bool repeat) {
  uint32_t id = ++next_timer_id_;
  if (::SetTimer(window_.handle(), kFirstScriptTimer + id, milliseconds, nullptr) != 0) {
    timers_[id] = Timer{page_serial, repeat};
  }
  return id;
}

void View::StopTimer(uint32_t id) {
  if (timers_.erase(id) != 0) ::KillTimer(window_.handle(), kFirstScriptTimer + id);
}

void View::SaveLocalStorage(const std::string& origin, const std::string& json) {
  if (!WriteLocalStorage(storage_folder_, origin, json) && !storage_folder_.empty()) {
    std::fprintf(stderr, "node: could not write local storage of %s\n", origin.c_str());
  }
}

std::string View::LoadLocalStorage(const std::string& origin) const {
  return ReadLocalStorage(storage_folder_, origin);
}

// Posted work waits while script or a host callback is running further down
// this thread's stack (a host that pumps messages inside a callback), so the
// page is never replaced under running script.
bool View::Busy() const { return Reentry::Depth() > 0 || script_depth_ > 0; }

void View::RetryLater() { ::SetTimer(window_.handle(), kRetryTimer, kRetryDelayMs, nullptr); }

void View::OnWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (destroyed_) return;
  if (message == kMailboxMessage) {
    DrainMailbox();
  } else if (message == WM_TIMER) {
    OnTimerMessage(wparam);
  }
  ReapDestroyed();
}

void View::OnTimerMessage(UINT_PTR timer) {
  if (timer == kPaintTimer) {
    if (Busy()) return;  // the timer stays and comes again
    RepaintIfNeeded();
  } else if (timer == kRetryTimer) {
    if (Busy()) return;
    ::KillTimer(window_.handle(), kRetryTimer);
    DrainMailbox();
  } else if (timer >= kFirstScriptTimer) {
    uint32_t id = static_cast<uint32_t>(timer - kFirstScriptTimer);
    auto found = timers_.find(id);
    if (found == timers_.end()) {
      ::KillTimer(window_.handle(), timer);
      return;
    }
    if (Busy()) return;
    Timer info = found->second;
    if (!info.repeat) StopTimer(id);
    Page* page = FindPage(info.page_serial);
    if (page != nullptr) {
      page->FireTimer(id);
    } else if (info.repeat) {
      StopTimer(id);  // its document is gone
    }
  }
}

void View::DrainMailbox() {
  if (Busy()) {
    RetryLater();
    return;
  }
  std::vector<std::unique_ptr<FetchJob>> jobs;
  jobs.swap(deferred_jobs_);
  for (auto& job : mailbox_->TakeAll()) jobs.push_back(std::move(job));
  for (auto& job : jobs) {
    if (destroyed_) return;
    OnJobDone(std::move(job));
  }
}

}  // namespace node_standin
