#pragma once
// Calls into node.dll that tolerate a missing function or a missing view: the
// program must not crash because an engine build lacks one export, so such a
// call does nothing and gives the result type's empty value.
#include <utility>

#include "ext/node_api.h"

// fn(args...) when the function exists, else R().
template <typename R, typename... P, typename... A>
R CallEngine(R(__cdecl* fn)(P...), A&&... args) {
  if (fn == nullptr) return R();
  return fn(std::forward<A>(args)...);
}

// fn(view, args...) when both the function and the view exist, else R().
template <typename R, typename... P, typename... A>
R CallView(R(__cdecl* fn)(P...), wkeWebView view, A&&... args) {
  if (fn == nullptr || view == nullptr) return R();
  return fn(view, std::forward<A>(args)...);
}
