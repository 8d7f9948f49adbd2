#pragma once
// data: URLs ("data:[type][;param...][;base64],payload"), which carry their
// document in the URL itself: a host shows a local page this way without a
// server or a file.
#include <string>

namespace node_standin {

bool IsDataUrl(const std::string& url);
// The payload of a data: URL, base64- or percent-decoded; false when it is
// not one or its payload does not decode.
bool DecodeDataUrl(const std::string& url, std::string* body);

}  // namespace node_standin
