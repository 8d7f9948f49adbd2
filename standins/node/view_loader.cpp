// Loading: a page is fetched on a request thread; its HTML is scanned and its
// scripts run in document order on the GUI thread, each "src" script fetched
// in turn; then the load events run and loading-finished is raised.
#include <cstdio>

#include "standins/node/page.h"
#include "standins/node/reentry.h"
#include "standins/node/text_codec.h"
#include "standins/node/url_resolve.h"
#include "standins/node/view.h"

namespace node_standin {
namespace {

constexpr char kMethodGet[] = "GET";
constexpr char kBlankUrlText[] = "about:blank";
// Hops one navigation may take before it fails, as browsers limit them.
constexpr int kMaxRedirects = 20;

bool IsRedirect(const FetchResponse& response) {
  long status = response.status;
  return response.completed && !response.redirect_url.empty() &&
         (status == 301 || status == 302 || status == 303 || status == 307 || status == 308);
}

std::unique_ptr<FetchJob> GetJob(FetchPurpose purpose, uint32_t owner, const std::string& url) {
  auto job = std::make_unique<FetchJob>();
  job->purpose = purpose;
  job->owner = owner;
  job->request.method = kMethodGet;
  job->request.url = url;
  return job;
}

}  // namespace

bool View::Navigate(const std::string& url, int type) {
  if (destroyed_ || !AskNavigation(type, url)) return false;
  Load(url);
  return true;
}

// The host's answer to one navigation (or redirect hop) about to start. A
// host may load something else or destroy the view from inside; the caller
// checks for that afterwards.
bool View::AskNavigation(int type, const std::string& url) {
  if (navigation_callback_ == nullptr) return !destroyed_;
  EngineString url_string{Cesu8ToUtf16(Utf8ToCesu8(url))};
  Registration<EngineString> live(&EngineStrings(), &url_string);
  bool go_on;
  {
    Reentry reentry;
    // Only the low byte of a bool result counts, whatever is above it.
    go_on = navigation_callback_(this, navigation_param_, type, &url_string);
  }
  return go_on && !destroyed_;
}

void View::OnNavigation(wkeNavigationCallback callback, void* param) {
  navigation_callback_ = callback;
  navigation_param_ = param;
}

void View::Load(const std::string& url) {
  if (destroyed_) return;
  // A new load supersedes the one in progress: its results are dropped.
  ++navigation_serial_;
  navigation_url_ = url;
  pending_scripts_.clear();
  next_script_ = 0;
  waiting_for_script_ = false;
  loading_ = true;
  redirect_hops_ = 0;
  auto job = GetJob(FetchPurpose::kPage, navigation_serial_, url);
  job->request.follow_redirects = false;
  StartFetch(mailbox_, std::move(job));
}

const char* View::MainFrameUrl() {
  Page* page = EnsurePage();
  url_text_ = page != nullptr ? Utf16ToUtf8(Cesu8ToUtf16(page->url())) : std::string(kBlankUrlText);
  return url_text_.c_str();
}

// One redirect of the page being loaded: the host is asked about the next
// hop as about any navigation; a refused hop ends the load as cancelled and
// the current document stays. True when the response was a redirect.
bool View::FollowRedirect(const FetchJob& job) {
  if (!IsRedirect(job.response)) return false;
  const std::string target = job.response.redirect_url;
  uint32_t serial = navigation_serial_;
  if (++redirect_hops_ > kMaxRedirects) {
    loading_ = false;
    RaiseLoadingFinish(target, kLoadFailed, "net::ERR_TOO_MANY_REDIRECTS");
    return true;
  }
  bool go_on = AskNavigation(kNavigationOther, target);
  if (destroyed_ || serial != navigation_serial_) return true;  // the host went elsewhere
  if (!go_on) {
    loading_ = false;
    RaiseLoadingFinish(target, kLoadCancelled, "net::ERR_ABORTED");
    return true;
  }
  navigation_url_ = target;
  auto next = GetJob(FetchPurpose::kPage, serial, target);
  next->request.follow_redirects = false;
  StartFetch(mailbox_, std::move(next));
  return true;
}

uint32_t View::StartXhr(uint32_t page_serial, FetchRequest request) {
  uint32_t id = ++next_xhr_id_;
  auto job = std::make_unique<FetchJob>();
  job->purpose = FetchPurpose::kXhr;
  job->owner = page_serial;
  job->xhr_id = id;
  job->request = std::move(request);
  StartFetch(mailbox_, std::move(job));
  return id;
}

void View::OnJobDone(std::unique_ptr<FetchJob> job) {
  switch (job->purpose) {
    case FetchPurpose::kPage:
      if (job->owner == navigation_serial_ && loading_) OnPageFetched(*job);
      break;
    case FetchPurpose::kScript:
      if (job->owner == navigation_serial_ && waiting_for_script_) OnScriptFetched(*job);
      break;
    case FetchPurpose::kXhr:
      OnXhrDone(*job);
      break;
    case FetchPurpose::kFrame:
      OnFrameFetched(*job);
      break;
  }
}

void View::OnPageFetched(const FetchJob& job) {
  if (FollowRedirect(job)) return;
  const FetchResponse& response = job.response;
  std::string reason = LoadFailureReason(response);
  if (!reason.empty()) {
    // Like a browser showing its error page: the old document is gone.
    loading_ = false;
    auto page = std::make_unique<Page>(this, navigation_url_, ++next_page_serial_);
    ReplacePage(page->Start() ? std::move(page) : nullptr);
    RaiseLoadingFinish(navigation_url_, kLoadFailed, reason);
    return;
  }
  std::string url = response.final_url.empty() ? navigation_url_ : response.final_url;
  auto page = std::make_unique<Page>(this, url, ++next_page_serial_);
  if (!page->Start()) {
    loading_ = false;
    RaiseLoadingFinish(navigation_url_, kLoadFailed, "net::ERR_INSUFFICIENT_RESOURCES");
    return;
  }
  ReplacePage(std::move(page));
  HtmlDocument document = ScanHtml(Utf8ToCesu8(response.body));
  page_->Adopt(document.tree_json);
  StartFrames();
  pending_scripts_ = std::move(document.scripts);
  next_script_ = 0;
  RunPendingScripts();
}

// Runs the scripts in order until one must be fetched first; finishes the
// load when none are left.
void View::RunPendingScripts() {
  uint32_t serial = navigation_serial_;
  while (next_script_ < pending_scripts_.size()) {
    if (destroyed_ || serial != navigation_serial_ || !page_) return;
    const HtmlScript& script = pending_scripts_[next_script_];
    if (!script.src.empty()) {
      waiting_for_script_ = true;
      StartFetch(mailbox_,
                 GetJob(FetchPurpose::kScript, serial, ResolveUrl(page_->url(), script.src)));
      return;
    }
    ++next_script_;
    page_->RunProgram(script.text, page_->url(), script.line);
  }
  if (destroyed_ || serial != navigation_serial_ || !page_) return;
  page_->FinishLoad();
  if (destroyed_ || serial != navigation_serial_) return;
  loading_ = false;
  pending_scripts_.clear();
  RaiseLoadingFinish(page_ ? page_->url() : navigation_url_, kLoadSucceeded, "");
}

void View::OnScriptFetched(const FetchJob& job) {
  waiting_for_script_ = false;
  ++next_script_;
  const FetchResponse& response = job.response;
  if (page_ && response.completed && response.status < 400) {
    page_->RunProgram(Utf8ToCesu8(response.body), job.request.url, 1);
  } else if (page_) {
    // A browser goes on without a script that fails to load, and says so.
    std::string reason = LoadFailureReason(response);
    std::u16string message =
        Cesu8ToUtf16("Failed to load resource: " + job.request.url + " (" + reason + ")");
    RaiseConsole(kConsoleError, message, job.request.url, 0, u"");
  }
  RunPendingScripts();
}

void View::OnXhrDone(const FetchJob& job) {
  Page* page = FindPage(job.owner);
  if (page == nullptr) return;  // the page that asked is gone
  const FetchResponse& response = job.response;
  page->FinishXhr(job.xhr_id, response.completed ? response.status : 0, Utf8ToCesu8(response.body),
                  !response.completed);
}

void View::RaiseLoadingFinish(const std::string& url, int result, const std::string& reason) {
  SchedulePaint();
  if (loading_callback_ == nullptr || destroyed_) return;
  EngineString url_string{Cesu8ToUtf16(url)};
  EngineString reason_string{Cesu8ToUtf16(reason)};
  Registration<EngineString> a(&EngineStrings(), &url_string);
  Registration<EngineString> b(&EngineStrings(), &reason_string);
  Reentry reentry;
  loading_callback_(this, loading_param_, &url_string, result, &reason_string);
}

}  // namespace node_standin
