#pragma once
// localStorage on disk: one file per origin in the folder the host names,
// holding the origin's items as one JSON object in the script engine's text
// encoding. Written whole on every change, through a temporary file, so a
// crash mid-write leaves the previous contents.
#include <string>

namespace node_standin {

// The file that holds `origin`'s items; an empty name for origins that have
// no storage (about:blank and other URLs without a host).
std::wstring LocalStorageFile(const std::wstring& folder, const std::string& origin);
// The stored JSON text, or empty when there is none.
std::string ReadLocalStorage(const std::wstring& folder, const std::string& origin);
bool WriteLocalStorage(const std::wstring& folder, const std::string& origin,
                       const std::string& json);

}  // namespace node_standin
