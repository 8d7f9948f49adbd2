#pragma once
// libcurl's process-wide set-up and tear-down. LoadConfig runs InitHttpGlobal
// at start-up, before any thread sends a request; Shutdown runs
// ReleaseHttpGlobal once every request has ended.

// Initialises libcurl (SSL and Win32 parts) on the first call; later calls
// give the first call's result without initialising again. False when libcurl
// is missing or its initialisation failed.
bool InitHttpGlobal();

// Forgets the first call, and cleans libcurl up if it was initialised, so a
// second release does nothing and a later InitHttpGlobal starts afresh.
void ReleaseHttpGlobal();
