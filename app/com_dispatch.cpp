#include "app/com_dispatch.h"

#include <oleauto.h>

#include "log/text_encoding.h"

namespace {

BSTR MakeBstr(const std::string& text) {
  Bytes wide = AnsiToWide(text);
  if (wide.size() < 2) return ::SysAllocString(L"");
  // The converted text ends with a two-byte terminator.
  return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                             static_cast<UINT>(wide.size() / 2 - 1));
}

std::string FromBstr(BSTR text) { return text ? WideToAnsi(text) : std::string(); }

std::vector<VARIANT> TextArguments(const std::vector<std::string>& args) {
  // IDispatch takes its arguments in reverse order.
  std::vector<VARIANT> variants(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    VARIANT& v = variants[args.size() - 1 - i];
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = MakeBstr(args[i]);
  }
  return variants;
}

void ClearArguments(std::vector<VARIANT>& args) {
  for (VARIANT& v : args) ::VariantClear(&v);
}

}  // namespace

DispatchObject& DispatchObject::operator=(DispatchObject&& other) noexcept {
  if (this != &other) {
    Reset();
    object_ = other.object_;
    other.object_ = nullptr;
  }
  return *this;
}

void DispatchObject::Reset() {
  if (object_) object_->Release();
  object_ = nullptr;
}

DispatchObject DispatchObject::Create(const char* prog_id) {
  BSTR id = MakeBstr(prog_id);
  CLSID clsid;
  HRESULT found = ::CLSIDFromProgID(id, &clsid);
  ::SysFreeString(id);
  if (FAILED(found)) return DispatchObject();
  IDispatch* object = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(&object)))) {
    return DispatchObject();
  }
  return DispatchObject(object);
}

DispatchObject DispatchObject::CreateFromTypeLibrary(const wchar_t* library_file,
                                                     const wchar_t* class_name) {
  ITypeLib* library = nullptr;
  if (FAILED(::LoadTypeLib(library_file, &library))) return DispatchObject();
  IDispatch* object = nullptr;
  for (UINT i = 0, count = library->GetTypeInfoCount(); i < count && !object; ++i) {
    BSTR name = nullptr;
    TYPEKIND kind;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    if (FAILED(library->GetDocumentation(i, &name, nullptr, nullptr, nullptr))) continue;
    bool match = name && wcscmp(name, class_name) == 0;
    ::SysFreeString(name);
    ITypeInfo* info = nullptr;
    if (!match || FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      ::CoCreateInstance(attributes->guid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IDispatch, reinterpret_cast<void**>(&object));
      info->ReleaseTypeAttr(attributes);
    }
    info->Release();
  }
  library->Release();
  return DispatchObject(object);
}

bool DispatchObject::Invoke(const char* name, WORD flags, std::vector<VARIANT>& args,
                            VARIANT* result) {
  if (!object_) return false;
  BSTR member = MakeBstr(name);
  DISPID id;
  HRESULT found = object_->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id);
  ::SysFreeString(member);
  if (FAILED(found)) return false;
  DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr,
                       static_cast<UINT>(args.size()), 0};
  DISPID named_put = DISPID_PROPERTYPUT;
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named_put;
    params.cNamedArgs = 1;
  }
  return SUCCEEDED(
      object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr));
}

bool DispatchObject::CallText(const char* method, const std::vector<std::string>& args,
                              std::string* result) {
  std::vector<VARIANT> variants = TextArguments(args);
  VARIANT value;
  ::VariantInit(&value);
  bool ok = Invoke(method, DISPATCH_METHOD, variants, &value);
  ClearArguments(variants);
  if (ok && value.vt == VT_BSTR) *result = FromBstr(value.bstrVal);
  ::VariantClear(&value);
  return ok;
}

DispatchObject DispatchObject::CallObject(const char* method,
                                          const std::vector<std::string>& args) {
  std::vector<VARIANT> variants = TextArguments(args);
  VARIANT value;
  ::VariantInit(&value);
  bool ok = Invoke(method, DISPATCH_METHOD, variants, &value);
  ClearArguments(variants);
  IDispatch* object = nullptr;
  if (ok && value.vt == VT_DISPATCH && value.pdispVal) {
    object = value.pdispVal;
    object->AddRef();
  }
  ::VariantClear(&value);
  return DispatchObject(object);
}

bool DispatchObject::CallVoid(const char* method) {
  std::vector<VARIANT> none;
  VARIANT value;
  ::VariantInit(&value);
  bool ok = Invoke(method, DISPATCH_METHOD, none, &value);
  ::VariantClear(&value);
  return ok;
}

bool DispatchObject::GetText(const char* property, std::string* result) {
  std::vector<VARIANT> none;
  VARIANT value;
  ::VariantInit(&value);
  bool ok = Invoke(property, DISPATCH_PROPERTYGET, none, &value);
  if (ok && value.vt == VT_BSTR) *result = FromBstr(value.bstrVal);
  ::VariantClear(&value);
  return ok;
}

bool DispatchObject::PutText(const char* property, const std::string& text) {
  std::vector<VARIANT> args = TextArguments({text});
  bool ok = Invoke(property, DISPATCH_PROPERTYPUT, args, nullptr);
  ClearArguments(args);
  return ok;
}

bool DispatchObject::PutInt(const char* property, int number) {
  std::vector<VARIANT> args(1);
  ::VariantInit(&args[0]);
  args[0].vt = VT_I4;
  args[0].lVal = number;
  return Invoke(property, DISPATCH_PROPERTYPUT, args, nullptr);
}
