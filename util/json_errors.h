#pragma once
// Result codes of JsonDocument::Parse.
constexpr int kJsonOk = 0;
constexpr int kJsonNoText = -2;         // no document, no text, empty or blank text
constexpr int kJsonNoMemory = -3;       // out of memory, or a value could not be stored
constexpr int kJsonBadMember = -4;      // malformed key or ':', or '{' / '[' where no value goes
constexpr int kJsonOpenContainer = -5;  // the text ended with containers still open
constexpr int kJsonBadValue = -6;       // malformed value, unmatched quote, content after the root
