#include "page/page_commands.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/main_window.h"
#include "app/orderly_restart.h"
#include "log/log_file.h"
#include "page/message_envelope.h"
#include "page/page_host.h"
#include "page/page_origin.h"
#include "page/script_bridge.h"
#include "util/scoped_handle.h"

namespace {

ShellExecuteFunction g_shell_execute = ::ShellExecuteA;

// Integers of the data are used as 32-bit values: the low 32 bits.
int DataInt(const MessageEnvelope& message, const char* key) {
  return static_cast<int>(static_cast<uint32_t>(message.data.GetInt64(key)));
}

std::string DataText(const MessageEnvelope& message, const char* key) {
  return message.data.GetText(key);
}

RECT MainWindowRect() {
  RECT rect = {};
  ::GetWindowRect(App().main_window, &rect);
  return rect;
}

std::string MainWindowTitle() {
  HWND window = App().main_window;
  std::string title(::GetWindowTextLengthA(window) + 1, '\0');
  title.resize(::GetWindowTextA(window, &title[0], static_cast<int>(title.size())));
  return title;
}

jsValue WindowCommand(jsExecState state, const MessageEnvelope& message) {
  const std::string& a = message.a;
  PageHost& host = Host();
  if (a == "center") {
    host.MoveToCenter();
  } else if (a == "close") {
    CloseWindowAsync(App().main_window);  // destroyed after this reply
  } else if (a == "show") {
    ::ShowWindow(App().main_window, DataInt(message, "show"));
  } else if (a == "left") {
    return ReturnInt(MainWindowRect().left);
  } else if (a == "top") {
    return ReturnInt(MainWindowRect().top);
  } else if (a == "width") {
    RECT rect = MainWindowRect();
    return ReturnInt(rect.right - rect.left);
  } else if (a == "height") {
    RECT rect = MainWindowRect();
    return ReturnInt(rect.bottom - rect.top);
  } else if (a == "title") {
    return ReturnText(state, MainWindowTitle());
  } else if (a == "setdrag") {
    host.SetResizeBorder(message.data.GetBool("on"));
    host.SetMinTrackSize(DataInt(message, "dminw"), DataInt(message, "dminh"));
    host.SetMaxTrackSize(DataInt(message, "dmaxw"), DataInt(message, "dmaxh"));
  } else if (a == "setdmin") {
    host.SetMinTrackSize(DataInt(message, "width"), DataInt(message, "height"));
  } else if (a == "setdmax") {
    host.SetMaxTrackSize(DataInt(message, "width"), DataInt(message, "height"));
  }
  // "init", "move", "setleft", "settop", "setwidth", "setheight", "settitle",
  // "setforeground", "foreground" and anything else: no effect.
  return ReturnUndefined();
}

bool PathExists(const std::string& path) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(::FindFirstFileA(path.c_str(), &found));
  return search.IsValid();
}

bool SkipsToEmpty(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 32) return false;
  }
  return true;
}

bool WriteIniCommand(const MessageEnvelope& message) {
  std::string node = DataText(message, "node");
  std::string key = DataText(message, "key");
  // An empty key would make the platform delete the whole section: a page
  // bug must not wipe the server settings, so that case writes nothing.
  if (SkipsToEmpty(node) || SkipsToEmpty(key)) return false;
  return WriteIniFile(App().config_path, node, key, DataText(message, "value"));
}

jsValue SysCommand(jsExecState state, const MessageEnvelope& message) {
  const std::string& a = message.a;
  const AppState& app = App();
  if (a == "openurl") {
    return ReturnBool(OpenWithShell(DataText(message, "url"), "", DataInt(message, "show")) > 32);
  } else if (a == "openfile") {
    return ReturnBool(OpenWithShell(DataText(message, "path"), DataText(message, "param"),
                                    DataInt(message, "show")) > 32);
  } else if (a == "pcname") {
    return ReturnText(state, app.pc_name);
  } else if (a == "readini") {
    return ReturnText(state, ReadIniFile(app.config_path, DataText(message, "node"),
                                         DataText(message, "key"), DataText(message, "value")));
  } else if (a == "writeini") {
    return ReturnBool(WriteIniCommand(message));
  } else if (a == "runpath") {
    return ReturnText(state, app.run_directory);
  } else if (a == "appname") {
    return ReturnText(state, app.app_name);
  } else if (a == "exists") {
    return ReturnBool(PathExists(DataText(message, "path")));
  } else if (a == "getpid") {
    return ReturnInt(FindProcessId(DataText(message, "name")));
  }
  return ReturnUndefined();
}

// A command name from outside as it goes into a refusal's log line.
std::string LoggedName(const std::string& name) {
  constexpr size_t kLongestName = 32;
  return ShortenedText(name, kLongestName);
}

std::string AsciiLower(std::string text) {
  // Only ASCII letters: the trail bytes of double-byte characters may fall in
  // the letter range and must stay as they are.
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      ++i;  // lead byte of a double-byte character: skip its trail byte too
    } else if (c >= 'A' && c <= 'Z') {
      text[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

}  // namespace

void SetShellExecuteForTest(ShellExecuteFunction function) {
  g_shell_execute = function ? function : ::ShellExecuteA;
}

INT_PTR OpenWithShell(const std::string& file, const std::string& parameters, int show) {
  HINSTANCE result =
      g_shell_execute(nullptr, "open", file.empty() ? nullptr : file.c_str(),
                      parameters.empty() ? nullptr : parameters.c_str(), nullptr, show);
  return reinterpret_cast<INT_PTR>(result);
}

int FindProcessId(const std::string& name) {
  if (name.empty()) return -1;
  ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return -1;
  std::string wanted = AsciiLower(name);
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
       more = ::Process32Next(snapshot.Get(), &entry)) {
    if (AsciiLower(entry.szExeFile) == wanted) return static_cast<int>(entry.th32ProcessID);
  }
  return -1;
}

jsValue __cdecl PageCommandHandler(jsExecState state) {
  // A planned restart never cuts a command short: it waits until this returns.
  PageCommandScope running;
  std::string text = ArgText(state, 0);
  std::string origin = CallerOrigin(state);
  MessageEnvelope message;
  bool readable = !text.empty() && ReadEnvelope(text, &message);
  if (!IsTrustedOrigin(origin)) {
    // The command and where it came from, never the whole argument: a
    // foreign document gets no say in what the log holds either.
    LogRefusal("OnServer refused origin:" + LoggedUrl(origin.empty() ? "?" : origin) +
               " c:" + LoggedName(message.c) + " a:" + LoggedName(message.a));
    return ReturnFalse();
  }
  WriteLog("WKE", "OnServer json:" + text);
  if (!readable) return ReturnFalse();
  if (message.c == "window") return WindowCommand(state, message);
  if (message.c == "sys") return SysCommand(state, message);
  return ReturnUndefined();
}
