#include "util/json_writer.h"

#include <vector>

namespace json_internal {

namespace {

constexpr char16_t kLineBreak[] = u"\r\n";

// The two-character escape for a character, or 0 when it is written as it is.
char16_t EscapeLetter(char16_t c) {
  switch (c) {
    case u'\\':
      return u'\\';
    case u'/':
      return u'/';
    case u'"':
      return u'"';
    case u'\b':
      return u'b';
    case u'\t':
      return u't';
    case u'\n':
      return u'n';
    case u'\r':
      return u'r';
    case u'\f':
      return u'f';
    default:
      return 0;
  }
}

void WriteQuoted(const char16_t* text, size_t size, bool escape, std::u16string* out) {
  out->push_back(u'"');
  if (!escape) {
    out->append(text, size);
  } else {
    size_t run = 0;  // start of the pending run of plain characters
    for (size_t i = 0; i < size; ++i) {
      char16_t letter = EscapeLetter(text[i]);
      if (letter == 0) continue;
      out->append(text + run, i - run);
      out->push_back(u'\\');
      out->push_back(letter);
      run = i + 1;
    }
    out->append(text + run, size - run);
  }
  out->push_back(u'"');
}

void WriteTabs(size_t count, std::u16string* out) { out->append(count, u'\t'); }

// One open container on the way down.
struct Frame {
  const Node* container;
  const Node* next;  // the child to write next
  size_t level;      // objects around and including this one
};

class Writer {
 public:
  Writer(const WriteOptions& options, std::u16string* out) : options_(options), out_(out) {}

  void Write(const Node* root) {
    Open(root, 0);
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      const Node* child = frame.next;
      if (child == nullptr) {
        Close(frame);
        stack_.pop_back();
        continue;
      }
      frame.next = child->next;
      bool in_object = frame.container->type == JsonType::kObject;
      bool pretty_member = options_.pretty && in_object;
      if (child != frame.container->list.first) {
        out_->push_back(u',');
        if (pretty_member) out_->append(kLineBreak);
      }
      if (in_object) {
        if (pretty_member) WriteTabs(frame.level, out_);
        WriteQuoted(child->key, child->key_size, options_.escape, out_);
        out_->push_back(u':');
      }
      Open(child, frame.level);  // may grow stack_, so `frame` is not used after this
    }
  }

 private:
  // Writes a scalar whole, or the opening of a container (pushed to finish later).
  void Open(const Node* node, size_t level) {
    switch (node->type) {
      case JsonType::kMissing:
      case JsonType::kNull:
        out_->append(u"null");
        return;
      case JsonType::kBool:
        out_->append(node->flag ? u"true" : u"false");
        return;
      case JsonType::kInt64:
      case JsonType::kDouble:
        out_->append(node->text.data, node->text.size);
        return;
      case JsonType::kString:
        WriteQuoted(node->text.data, node->text.size, options_.escape, out_);
        return;
      case JsonType::kArray:
        out_->push_back(u'[');
        stack_.push_back(Frame{node, node->list.first, level});
        return;
      case JsonType::kObject:
        out_->push_back(u'{');
        if (options_.pretty) out_->append(kLineBreak);
        stack_.push_back(Frame{node, node->list.first, level + 1});
        return;
    }
  }

  void Close(const Frame& frame) {
    if (frame.container->type == JsonType::kArray) {
      out_->push_back(u']');
      return;
    }
    if (options_.pretty) {
      if (frame.container->list.count != 0) out_->append(kLineBreak);
      WriteTabs(frame.level - 1, out_);
    }
    out_->push_back(u'}');
  }

  const WriteOptions& options_;
  std::u16string* out_;
  std::vector<Frame> stack_;
};

}  // namespace

void WriteTree(const Node* root, const WriteOptions& options, std::u16string* out) {
  Writer writer(options, out);
  writer.Write(root);
}

}  // namespace json_internal
