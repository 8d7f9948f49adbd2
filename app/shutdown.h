#pragma once
// Releases, in a fixed order, what start-up acquired. Every step checks its
// own state first, so a second run (the fatal-error path followed by the
// window's destruction) does nothing more.
void Shutdown();
