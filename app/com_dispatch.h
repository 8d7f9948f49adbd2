#pragma once
// Late-bound COM automation (IDispatch) for the two scripting objects the
// program uses: "Scripting.FileSystemObject" and the Windows Script Host shell.
// Texts are code page 936.
#include <oaidl.h>
#include <windows.h>

#include <string>
#include <vector>

// CoInitialize for one scope, undone at its end when it succeeded.
class ComScope {
 public:
  ComScope() : result_(::CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// Owns one IDispatch pointer; empty when creation failed.
class DispatchObject {
 public:
  DispatchObject() = default;
  explicit DispatchObject(IDispatch* object) : object_(object) {}
  ~DispatchObject() { Reset(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;
  DispatchObject(DispatchObject&& other) noexcept : object_(other.object_) {
    other.object_ = nullptr;
  }
  DispatchObject& operator=(DispatchObject&& other) noexcept;

  // The object registered under a program id, e.g. "WScript.Shell".
  static DispatchObject Create(const char* prog_id);
  // The object of the coclass named `class_name` in a type library file.
  static DispatchObject CreateFromTypeLibrary(const wchar_t* library_file,
                                              const wchar_t* class_name);

  bool IsValid() const { return object_ != nullptr; }
  // Calls a method with text arguments; the text or object it returns.
  bool CallText(const char* method, const std::vector<std::string>& args, std::string* result);
  DispatchObject CallObject(const char* method, const std::vector<std::string>& args);
  bool CallVoid(const char* method);
  bool GetText(const char* property, std::string* value);
  bool PutText(const char* property, const std::string& value);
  bool PutInt(const char* property, int value);
  void Reset();

 private:
  bool Invoke(const char* name, WORD flags, std::vector<VARIANT>& args, VARIANT* result);

  IDispatch* object_ = nullptr;
};
