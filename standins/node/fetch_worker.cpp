#include "standins/node/fetch_worker.h"

#include <thread>

#include "standins/node/curl_api.h"
#include "standins/node/module_path.h"

namespace node_standin {

void FetchMailbox::Deliver(std::unique_ptr<FetchJob> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  done_.push_back(std::move(job));
  ::PostMessageW(window_, message_, 0, 0);
}

std::vector<std::unique_ptr<FetchJob>> FetchMailbox::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::unique_ptr<FetchJob>> jobs;
  while (!done_.empty()) {
    jobs.push_back(std::move(done_.front()));
    done_.pop_front();
  }
  return jobs;
}

void FetchMailbox::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  done_.clear();
}

void StartFetch(std::shared_ptr<FetchMailbox> mailbox, std::unique_ptr<FetchJob> job) {
  PinThisModule();
  // libcurl's global start-up is not safe to race, so it happens here, on the
  // GUI thread, before the first request thread exists.
  Curl();
  auto shared = std::make_shared<FetchJob>(std::move(*job));
  try {
    std::thread([mailbox, shared] {
      shared->response = Fetch(shared->request, mailbox->closed_flag());
      mailbox->Deliver(std::make_unique<FetchJob>(std::move(*shared)));
    }).detach();
  } catch (...) {
    // No thread to be had: the request fails like any other, on the GUI thread's next turn.
    shared->response.failure = "net::ERR_INSUFFICIENT_RESOURCES";
    mailbox->Deliver(std::make_unique<FetchJob>(std::move(*shared)));
  }
}

}  // namespace node_standin
