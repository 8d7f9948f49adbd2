#pragma once
// A lenient HTML scanner: enough of HTML to give a page its element tree
// (tags, attributes, text) and its scripts in document order. Input and
// output text are CESU-8, the script engine's own encoding.
#include <string>
#include <vector>

namespace node_standin {

struct HtmlScript {
  std::string src;   // the src attribute, unresolved; empty for inline script
  std::string text;  // the inline source
  int line = 1;      // line of the document where the inline source starts
};

struct HtmlDocument {
  // The tree as JSON: a text node is a string, an element is
  // ["tag", {"attribute": "value", ...}, [children...]]; the top level is an
  // array of nodes.
  std::string tree_json;
  // The scripts a browser would run, in document order (scripts whose type
  // is not JavaScript are left out).
  std::vector<HtmlScript> scripts;
};

// Never fails: whatever the input, the result is a well-formed tree. Nesting
// deeper than kMaxHtmlDepth is flattened so that building the tree can never
// exhaust a stack.
HtmlDocument ScanHtml(const std::string& html);

constexpr int kMaxHtmlDepth = 200;

// Appends `text` to `out` as the inside of a JSON string literal.
void AppendJsonEscaped(const std::string& text, std::string* out);

}  // namespace node_standin
