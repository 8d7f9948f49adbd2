#pragma once
// What a log line may hold. A message often carries text from outside (a
// page's call, a server's push, a URL): a line break inside it would start
// what reads as a line of its own, so anyone who can send the program text
// could write log lines. Pure functions over code page 936 bytes.
#include <string>

// The text with every control character written visibly: CR as \r, LF as \n,
// tab as \t, the others (below 0x20, and 0x7F) as \xNN. Everything else,
// double-byte characters included (their bytes are never below 0x40), is
// left as it is.
std::string OneLineText(const std::string& text);
