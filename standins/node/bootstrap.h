#pragma once
// The script every fresh page runs before its own: the DOM subset and the
// window globals. Each text is a function expression called as
// (native, global, hooks), where native holds the engine's native functions
// and hooks collects the functions the engine calls back.
namespace node_standin {

extern const char kDomBootstrap[];
extern const char kWindowBootstrap[];

}  // namespace node_standin
