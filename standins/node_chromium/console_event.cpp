#include "console_event.h"

namespace {

int LevelOfCall(const std::string& type) {
  if (type == "warning") return kLevelWarning;
  if (type == "error" || type == "assert") return kLevelError;
  if (type == "debug") return kLevelDebug;
  if (type == "info") return kLevelInfo;
  return kLevelLog;
}

// One argument as the console prints it: strings bare, the rest by description.
std::string ArgumentText(const Json& remote) {
  const Json& value = Member(remote, "value");
  if (value.is_string()) return value.get<std::string>();
  std::string description = StringMember(remote, "description");
  if (!description.empty()) return description;
  if (!value.is_null()) return DumpJson(value);
  std::string special = StringMember(remote, "unserializableValue");
  if (!special.empty()) return special;
  return StringMember(remote, "subtype") == "null" ? "null" : StringMember(remote, "type");
}

std::string StackText(const Json& stack_trace) {
  std::string text;
  const Json& frames = Member(stack_trace, "callFrames");
  if (!frames.is_array()) return text;
  for (const Json& frame : frames) {
    std::string name = StringMember(frame, "functionName");
    text += "    at " + (name.empty() ? std::string("(anonymous)") : name) + " (" +
            StringMember(frame, "url") + ":" + std::to_string(IntMember(frame, "lineNumber") + 1) +
            ":" + std::to_string(IntMember(frame, "columnNumber") + 1) + ")\n";
  }
  return text;
}

// The place of the innermost frame, where the stack has one.
void TakeTopFrame(const Json& stack_trace, ConsoleMessage* message) {
  const Json& frames = Member(stack_trace, "callFrames");
  if (!frames.is_array() || frames.empty()) return;
  message->source = StringMember(frames[0], "url");
  message->line = static_cast<unsigned>(IntMember(frames[0], "lineNumber") + 1);
}

}  // namespace

bool ConsoleMessageFromApiCall(const Json& params, ConsoleMessage* message) {
  std::string type = StringMember(params, "type");
  // Grouping, timing and table calls produce no message line of their own.
  if (type == "startGroup" || type == "startGroupCollapsed" || type == "endGroup" ||
      type == "clear" || type == "profile" || type == "profileEnd") {
    return false;
  }
  message->level = LevelOfCall(type);
  message->message.clear();
  const Json& args = Member(params, "args");
  if (args.is_array()) {
    for (const Json& argument : args) {
      if (!message->message.empty()) message->message += " ";
      message->message += ArgumentText(argument);
    }
  }
  TakeTopFrame(Member(params, "stackTrace"), message);
  message->stack = StackText(Member(params, "stackTrace"));
  return true;
}

ConsoleMessage ConsoleMessageFromException(const Json& details) {
  ConsoleMessage message;
  message.level = kLevelError;
  // The exception's description starts with "Name: message" and goes on with
  // the stack; the first line is the message proper.
  std::string description = StringMember(Member(details, "exception"), "description");
  if (description.empty()) description = StringMember(details, "text");
  message.message = description.substr(0, description.find('\n'));
  const Json& exception = Member(details, "exception");
  if (StringMember(exception, "type") != "object" && Member(exception, "value").is_string()) {
    message.message = "Uncaught " + Member(exception, "value").get<std::string>();
  }
  message.source = StringMember(details, "url");
  message.line = static_cast<unsigned>(IntMember(details, "lineNumber") + 1);
  if (message.source.empty()) TakeTopFrame(Member(details, "stackTrace"), &message);
  message.stack = StackText(Member(details, "stackTrace"));
  return message;
}
