// Starting the view's browser and starting it again after it died: the
// restart thread does everything that waits (the browser's start, the
// connection, enabling the page's domains); the GUI thread only takes the
// prepared connection over and re-applies the view's state to it, with
// commands it sends without waiting for their replies.
#include "web_view.h"

bool WebView::StartPage() {
  // A request made while the last browser was coming up needs nothing more.
  if (served_ && served_->IsOpen()) return true;
  served_.reset();
  std::string error;
  Connection connection = ConnectToNewBrowser(&error);
  if (!connection) {
    browser_.Stop();
    gui_.Post([this, error] { OnStartFailed(error); });
    return false;
  }
  served_ = connection;
  gui_.Post([this, connection] { Adopt(connection); });
  return true;
}

WebView::Connection WebView::ConnectToNewBrowser(std::string* error) {
  BrowserOptions options;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    options = options_;
  }
  // Start() first ends what is left of the last browser (its keeper, should
  // only the connection have gone).
  if (!browser_.Start(options, error)) return nullptr;
  PageConnection::Sinks sinks;
  sinks.on_event = [this](PageConnection& from, const std::string& method, const Json& params) {
    OnEvent(from, method, params);
  };
  sinks.on_tick = [this](PageConnection& from) { return OnTick(from); };
  sinks.on_lost = [this] { OnLost(); };
  sinks.on_frame = [this](FramePixels&& frame) {
    auto shared = std::make_shared<FramePixels>(std::move(frame));
    gui_.Post([this, shared] { DeliverFrame(shared); });
  };
  Connection connection =
      browser_.over_pipe()
          ? PageConnection::OpenPipe(browser_.PipeFromBrowser(), browser_.PipeToBrowser(),
                                     browser_.port(), std::move(sinks), error)
          : PageConnection::Open(browser_.port(), std::move(sinks), error);
  if (connection && connection->Prepare(error) && connection->IsOpen()) return connection;
  if (error->empty()) *error = "the browser ended while its page was prepared";
  return nullptr;
}

void WebView::OnLost() {
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    tracker_.Restart(std::string());
    paused_.clear();
    navigation_asks_.clear();
    ++documents_;
    script_contexts_.clear();
    last_sequences_.clear();
    main_context_ = 0;
  }
  state_changed_.notify_all();
  // Calls waiting for the dead browser return now; a new one is started.
  restart_.Request();
}

void WebView::Adopt(Connection connection) {
  // One that died on the way has asked for its successor already.
  if (closed_ || !connection->IsOpen()) return;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    tracker_.Restart(connection->main_frame());
    navigation_policy_.set_main_frame(connection->main_frame());
    main_frame_id_ = connection->main_frame();
    paused_.clear();
    navigation_asks_.clear();
  }
  connection_ = connection;
  // The same order as for the first browser: functions before the page that
  // calls them, size and background before the first frame.
  InstallExistingBindings(this);
  PrepareNavigationEvents(*connection);
  ApplyViewSize(*connection);
  ApplyBackground(*connection);
  connection->session().Post("Page.startScreencast", {{"format", "png"}, {"everyNthFrame", 1}});
  if (devtools_wanted_) OpenDevTools(*connection);
  devtools_wanted_ = false;
  load_unanswered_ = false;
  if (!last_url_.empty()) Navigate(*connection, last_url_);
}

void WebView::OnStartFailed(const std::string& error) {
  // The program hears of a load it asked for once, like any failed load;
  // the restart thread keeps trying, and a browser that comes up loads it.
  if (closed_ || !load_unanswered_) return;
  load_unanswered_ = false;
  DeliverLoad({last_url_, LoadResult::kFailed, "browser not available: " + error});
}
