#pragma once
// Where a relayed message's time goes: the stages of the relay path timed
// one by one on the running page, so the end-to-end figures can be read.
#include <cstddef>

// Prints the mean cost per message of each stage for `count` messages of
// `body_bytes`. Runs on the thread that owns the main window, after the page
// has loaded.
void PrintStageCosts(size_t body_bytes, long count);
