// Child frames: each <iframe src> in the top document's markup gets a
// document of its own, with its own global, location and bound functions, as
// the real engine gives every document. Minimal: frames load after their
// parent's markup is read and do not hold up its load event; their "src"
// scripts are fetched in turn on the GUI thread; frames added later by script
// stay empty; a frame navigates itself only.
#include "standins/node/page.h"
#include "standins/node/text_codec.h"
#include "standins/node/url_resolve.h"
#include "standins/node/view.h"

namespace node_standin {

Page* View::FindPage(uint32_t serial) {
  if (page_ && page_->serial() == serial) return page_.get();
  for (auto& frame : frames_) {
    if (frame && frame->serial() == serial) return frame.get();
  }
  return nullptr;
}

void View::StartFrames() {
  if (!page_) return;
  std::vector<std::string> sources = page_->FrameSources();
  frames_.clear();
  frames_.resize(sources.size());
  frame_loads_.assign(sources.size(), 0);
  for (size_t i = 0; i < sources.size(); ++i) {
    if (sources[i].empty()) continue;
    NavigateFrame(static_cast<int>(i),
                  ResolveUrl(page_->url(), Utf16ToUtf8(Cesu8ToUtf16(sources[i]))));
  }
}

void View::NavigateFrame(int index, const std::string& url) {
  if (destroyed_ || !page_ || index < 0 || static_cast<size_t>(index) >= frames_.size()) return;
  auto job = std::make_unique<FetchJob>();
  job->purpose = FetchPurpose::kFrame;
  job->owner = page_->serial();
  job->xhr_id = static_cast<uint32_t>(index);
  job->frame_load = ++frame_loads_[index];
  job->request.url = url;
  StartFetch(mailbox_, std::move(job));
}

void View::OnFrameFetched(const FetchJob& job) {
  size_t index = job.xhr_id;
  if (!page_ || page_->serial() != job.owner || index >= frames_.size() ||
      frame_loads_[index] != job.frame_load) {
    return;  // its parent document or this load of the frame is gone
  }
  const FetchResponse& response = job.response;
  bool failed = !LoadFailureReason(response).empty();
  std::string url = failed || response.final_url.empty() ? job.request.url : response.final_url;
  auto frame = std::make_unique<Page>(this, url, ++next_page_serial_);
  frame->set_frame_index(static_cast<int>(index));
  if (!frame->Start()) return;
  Page* child = frame.get();
  frames_[index] = std::move(frame);
  if (failed) return;  // an empty document, as a browser shows its error page
  HtmlDocument document = ScanHtml(Utf8ToCesu8(response.body));
  child->Adopt(document.tree_json);
  uint32_t load = job.frame_load;
  auto still_current = [&] {
    return !destroyed_ && index < frames_.size() && frames_[index].get() == child &&
           frame_loads_[index] == load;
  };
  for (const HtmlScript& script : document.scripts) {
    if (!still_current()) return;
    if (script.src.empty()) {
      child->RunProgram(script.text, child->url(), script.line);
      continue;
    }
    FetchRequest request;
    request.url = ResolveUrl(child->url(), script.src);
    FetchResponse source = Fetch(request, nullptr);
    if (!still_current()) return;
    if (source.completed && source.status < 400) {
      child->RunProgram(Utf8ToCesu8(source.body), request.url, 1);
    }
  }
  if (still_current()) child->FinishLoad();
}

}  // namespace node_standin
