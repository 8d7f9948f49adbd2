#pragma once
// wkeSetDebugConfig: the headless engine has no developer tools to open, so
// it records each "showDevTools" request where tests can see it.
#include <string>

namespace node_standin {

void RecordDebugConfig(const std::string& name, const std::string& value);
int DebugConfigCount(const std::string& name);
// The value of the last request of that name; false when there was none.
bool LastDebugConfig(const std::string& name, std::string* value);

}  // namespace node_standin
