// Windows the page opens (window.open, a link with a target): the host's
// new-view event decides. Without a handler the engine does as the real one
// does by default and opens a view of its own for the URL; the headless
// popup is never shown but its page loads and runs, bound functions included.
#include "standins/node/reentry.h"
#include "standins/node/text_codec.h"
#include "standins/node/view.h"

namespace node_standin {

void View::OnCreateView(wkeCreateViewCallback callback, void* param) {
  create_view_callback_ = callback;
  create_view_param_ = param;
}

void View::OpenWindow(const std::string& url, int type) {
  if (destroyed_) return;
  if (create_view_callback_ != nullptr) {
    EngineString url_string{Cesu8ToUtf16(Utf8ToCesu8(url))};
    Registration<EngineString> live(&EngineStrings(), &url_string);
    wkeWindowFeatures features = {};
    features.menuBarVisible = features.statusBarVisible = features.toolBarVisible = true;
    features.locationBarVisible = features.scrollbarsVisible = features.resizable = true;
    View* target;
    {
      Reentry reentry;
      target = create_view_callback_(this, create_view_param_, type, &url_string, &features);
    }
    // The view the host names loads the URL, asking its own navigation
    // event first; null, or a view that is gone, opens nothing.
    if (target != nullptr && Registry().Contains(target)) target->Navigate(url, type);
    return;
  }
  if (!new_window_enabled_) {
    // New windows are off: the URL goes to this view instead.
    Navigate(url, type);
    return;
  }
  // A page that opens windows in a loop gets a few, not unbounded memory.
  constexpr size_t kMaxPopups = 8;
  std::vector<View*> live;
  for (View* popup : popups_) {
    if (Registry().Contains(popup)) live.push_back(popup);
  }
  popups_.swap(live);
  if (popups_.size() >= kMaxPopups) return;
  View* popup = Create();
  if (popup == nullptr) return;
  popups_.push_back(popup);
  popup->Navigate(url, type);
}

}  // namespace node_standin
