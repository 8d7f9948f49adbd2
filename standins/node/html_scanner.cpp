#include "standins/node/html_scanner.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>

#include "standins/node/text_codec.h"

namespace node_standin {
namespace {

struct Node {
  bool is_text = false;
  std::string tag;  // lower case; the text for a text node
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::unique_ptr<Node>> children;
};

const char* const kVoidTags[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                 "input", "link", "meta", "param", "source", "track", "wbr"};
// Elements whose content is not markup: it runs to the matching end tag.
const char* const kRawTextTags[] = {"script", "style", "textarea", "title", "xmp"};
// Elements whose start closes an open paragraph, as browsers do.
const char* const kClosesParagraph[] = {"p",    "div",     "ul",     "ol",     "table",     "h1",
                                        "h2",   "h3",      "h4",     "h5",     "h6",        "pre",
                                        "form", "section", "header", "footer", "blockquote"};

template <size_t N>
bool IsOneOf(const std::string& tag, const char* const (&list)[N]) {
  return std::any_of(list, list + N, [&](const char* item) { return tag == item; });
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
}

// Appends the character of the entity at text[*pos] ('&') and moves past it;
// an unknown entity stays as it is written.
void DecodeEntity(const std::string& text, size_t* pos, std::string* out) {
  static const std::pair<const char*, char16_t> kNamed[] = {
      {"amp", '&'},    {"lt", '<'},        {"gt", '>'},       {"quot", '"'},    {"apos", '\''},
      {"nbsp", 0xA0},  {"copy", 0xA9},     {"reg", 0xAE},     {"yen", 0xA5},    {"middot", 0xB7},
      {"times", 0xD7}, {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013}};
  size_t start = *pos + 1;
  if (start < text.size() && text[start] == '#') {
    bool hex = start + 1 < text.size() && (text[start + 1] == 'x' || text[start + 1] == 'X');
    size_t digits = start + (hex ? 2 : 1), end = digits;
    unsigned long value = 0;
    while (end < text.size() && end - digits < 8 &&
           (hex ? std::isxdigit(static_cast<unsigned char>(text[end]))
                : std::isdigit(static_cast<unsigned char>(text[end])))) {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[end])));
      value = value * (hex ? 16 : 10) + (c <= '9' ? c - '0' : c - 'a' + 10);
      ++end;
    }
    if (end > digits) {
      if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
      std::u16string units;
      if (value >= 0x10000) {
        units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
      } else {
        units.push_back(static_cast<char16_t>(value));
      }
      *out += Utf16ToCesu8(units);
      *pos = end < text.size() && text[end] == ';' ? end + 1 : end;
      return;
    }
  }
  for (const auto& entity : kNamed) {
    size_t length = std::strlen(entity.first);
    if (text.compare(start, length, entity.first) == 0 && start + length < text.size() &&
        text[start + length] == ';') {
      *out += Utf16ToCesu8(std::u16string(1, entity.second));
      *pos = start + length + 1;
      return;
    }
  }
  out->push_back('&');
  ++*pos;
}

std::string DecodeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    if (text[pos] == '&') {
      DecodeEntity(text, &pos, &out);
    } else {
      out.push_back(text[pos++]);
    }
  }
  return out;
}

class Scanner {
 public:
  explicit Scanner(const std::string& html) : html_(html) { open_.push_back(&root_); }

  HtmlDocument Run() {
    while (pos_ < html_.size()) {
      if (html_[pos_] == '<' && TryMarkup()) continue;
      size_t end = html_.find('<', pos_ + 1);
      if (end == std::string::npos) end = html_.size();
      AddText(html_.substr(pos_, end - pos_));
      pos_ = end;
    }
    HtmlDocument document;
    document.tree_json = "[";
    AppendChildren(root_, &document.tree_json);
    document.tree_json += "]";
    document.scripts = std::move(scripts_);
    return document;
  }

 private:
  // Handles the markup at pos_ ('<'); false when it is a plain '<' of text.
  bool TryMarkup() {
    if (html_.compare(pos_, 4, "<!--") == 0) {
      size_t end = html_.find("-->", pos_ + 4);
      pos_ = end == std::string::npos ? html_.size() : end + 3;
      return true;
    }
    char next = pos_ + 1 < html_.size() ? html_[pos_ + 1] : '\0';
    if (next == '!' || next == '?') {
      size_t end = html_.find('>', pos_);
      pos_ = end == std::string::npos ? html_.size() : end + 1;
      return true;
    }
    if (next == '/' && pos_ + 2 < html_.size() &&
        std::isalpha(static_cast<unsigned char>(html_[pos_ + 2]))) {
      EndTag();
      return true;
    }
    if (!std::isalpha(static_cast<unsigned char>(next))) return false;
    StartTag();
    return true;
  }

  std::string ReadName() {
    size_t start = pos_;
    while (pos_ < html_.size() && IsNameChar(html_[pos_])) ++pos_;
    return Lower(html_.substr(start, pos_ - start));
  }

  void SkipSpace() {
    while (pos_ < html_.size() && std::isspace(static_cast<unsigned char>(html_[pos_]))) ++pos_;
  }

  void EndTag() {
    pos_ += 2;
    std::string tag = ReadName();
    size_t end = html_.find('>', pos_);
    pos_ = end == std::string::npos ? html_.size() : end + 1;
    for (size_t i = open_.size(); i-- > 1;) {
      if (open_[i]->tag == tag) {
        open_.resize(i);
        return;
      }
    }
  }

  std::string ReadAttributeValue() {
    if (pos_ < html_.size() && (html_[pos_] == '"' || html_[pos_] == '\'')) {
      char quote = html_[pos_++];
      size_t end = html_.find(quote, pos_);
      if (end == std::string::npos) end = html_.size();
      std::string value = html_.substr(pos_, end - pos_);
      pos_ = std::min(end + 1, html_.size());
      return DecodeText(value);
    }
    size_t start = pos_;
    while (pos_ < html_.size() && !std::isspace(static_cast<unsigned char>(html_[pos_])) &&
           html_[pos_] != '>') {
      ++pos_;
    }
    return DecodeText(html_.substr(start, pos_ - start));
  }

  // Reads the attributes up to '>'; true when the tag closed itself ("/>").
  bool ReadAttributes(Node* element) {
    while (true) {
      SkipSpace();
      if (pos_ >= html_.size()) return false;
      if (html_[pos_] == '>') {
        ++pos_;
        return false;
      }
      if (html_.compare(pos_, 2, "/>") == 0) {
        pos_ += 2;
        return true;
      }
      size_t start = pos_;
      while (pos_ < html_.size() && !std::isspace(static_cast<unsigned char>(html_[pos_])) &&
             html_[pos_] != '=' && html_[pos_] != '>' && html_[pos_] != '/') {
        ++pos_;
      }
      if (pos_ == start) {
        ++pos_;  // a stray '/' or '=': skip it
        continue;
      }
      std::string name = Lower(html_.substr(start, pos_ - start));
      SkipSpace();
      std::string value;
      if (pos_ < html_.size() && html_[pos_] == '=') {
        ++pos_;
        SkipSpace();
        value = ReadAttributeValue();
      }
      bool known = std::any_of(element->attributes.begin(), element->attributes.end(),
                               [&](const auto& a) { return a.first == name; });
      if (!known) element->attributes.emplace_back(name, value);
    }
  }

  void CloseImplied(const std::string& tag) {
    const std::string& current = open_.back()->tag;
    bool close =
        (current == "p" && IsOneOf(tag, kClosesParagraph)) || (current == "li" && tag == "li") ||
        (current == "option" && tag == "option") ||
        ((current == "td" || current == "th") && (tag == "td" || tag == "th" || tag == "tr"));
    if (close && open_.size() > 1) open_.pop_back();
    if (tag == "tr" && open_.back()->tag == "tr" && open_.size() > 1) open_.pop_back();
  }

  void StartTag() {
    ++pos_;
    auto element = std::make_unique<Node>();
    element->tag = ReadName();
    bool self_closed = ReadAttributes(element.get());
    CloseImplied(element->tag);
    Node* added = element.get();
    open_.back()->children.push_back(std::move(element));
    if (IsOneOf(added->tag, kRawTextTags)) {
      if (!self_closed) RawText(added);
      return;
    }
    bool can_open = open_.size() <= static_cast<size_t>(kMaxHtmlDepth);
    if (!self_closed && !IsOneOf(added->tag, kVoidTags) && can_open) open_.push_back(added);
  }

  // The content of a raw-text element, up to its end tag (any case).
  void RawText(Node* element) {
    line_ += static_cast<int>(std::count(html_.begin() + counted_, html_.begin() + pos_, '\n'));
    counted_ = pos_;
    int line = line_;
    std::string lower_rest_end = "</" + element->tag;
    size_t end = pos_;
    while (true) {
      end = html_.find("</", end);
      if (end == std::string::npos) break;
      if (Lower(html_.substr(end, lower_rest_end.size())) == lower_rest_end) break;
      end += 2;
    }
    if (end == std::string::npos) end = html_.size();
    std::string content = html_.substr(pos_, end - pos_);
    bool decoded = element->tag == "title" || element->tag == "textarea";
    if (!content.empty()) AddTextTo(element, decoded ? DecodeText(content) : content);
    size_t close = html_.find('>', end);
    pos_ = close == std::string::npos ? html_.size() : close + 1;
    if (element->tag == "script") AddScript(*element, content, line);
  }

  void AddScript(const Node& element, const std::string& content, int line) {
    HtmlScript script;
    for (const auto& attribute : element.attributes) {
      if (attribute.first == "src") script.src = attribute.second;
      if (attribute.first == "type") {
        std::string type = Lower(attribute.second);
        if (!type.empty() && type.find("javascript") == std::string::npos) return;
      }
    }
    if (script.src.empty()) script.text = content;
    script.line = line;
    scripts_.push_back(std::move(script));
  }

  void AddText(const std::string& raw) { AddTextTo(open_.back(), DecodeText(raw)); }

  static void AddTextTo(Node* parent, const std::string& text) {
    if (!parent->children.empty() && parent->children.back()->is_text) {
      parent->children.back()->tag += text;
      return;
    }
    auto node = std::make_unique<Node>();
    node->is_text = true;
    node->tag = text;
    parent->children.push_back(std::move(node));
  }

  static void AppendChildren(const Node& parent, std::string* out) {
    for (size_t i = 0; i < parent.children.size(); ++i) {
      if (i > 0) *out += ',';
      const Node& child = *parent.children[i];
      if (child.is_text) {
        *out += '"';
        AppendJsonEscaped(child.tag, out);
        *out += '"';
        continue;
      }
      *out += "[\"";
      AppendJsonEscaped(child.tag, out);
      *out += "\",{";
      for (size_t a = 0; a < child.attributes.size(); ++a) {
        if (a > 0) *out += ',';
        *out += '"';
        AppendJsonEscaped(child.attributes[a].first, out);
        *out += "\":\"";
        AppendJsonEscaped(child.attributes[a].second, out);
        *out += '"';
      }
      *out += "},[";
      AppendChildren(child, out);
      *out += "]]";
    }
  }

  const std::string& html_;
  size_t pos_ = 0;
  size_t counted_ = 0;  // lines are counted up to here
  int line_ = 1;
  Node root_;
  std::vector<Node*> open_;
  std::vector<HtmlScript> scripts_;
};

}  // namespace

void AppendJsonEscaped(const std::string& text, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (byte < 0x20) {
      *out += "\\u00";
      out->push_back(kHex[byte >> 4]);
      out->push_back(kHex[byte & 15]);
    } else {
      out->push_back(c);
    }
  }
}

HtmlDocument ScanHtml(const std::string& html) { return Scanner(html).Run(); }

}  // namespace node_standin
