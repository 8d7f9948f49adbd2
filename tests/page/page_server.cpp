#include "tests/page/page_server.h"

PageServer::PageServer()
    : http_([this](const RecordedRequest& request) { return Answer(request); }) {}

void PageServer::Put(const std::string& path, const std::string& html) {
  std::lock_guard<std::mutex> guard(lock_);
  pages_[path] = html;
}

int PageServer::Hits(const std::string& path) const {
  int hits = 0;
  for (const RecordedRequest& request : http_.Requests()) hits += request.target == path;
  return hits;
}

CannedResponse PageServer::Answer(const RecordedRequest& request) {
  CannedResponse response;
  response.headers.push_back("Content-Type: text/html; charset=utf-8");
  std::lock_guard<std::mutex> guard(lock_);
  auto page = pages_.find(request.target);
  if (page == pages_.end()) {
    response.status = 404;
  } else {
    response.body = page->second;
  }
  return response;
}
