// Where a long text goes while it is being made, a piece at a time: the report's markup streams
// through one into its file, or into a string. A writer puts bytes into the sink's buffer; the
// sink passes the buffer on whenever it is full, so the whole text is never in memory at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvex::contracts {

class TextSink {
 public:
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;
  virtual ~TextSink() = default;

  void put(char c) {
    if (next_ == end_) pass_on();
    *next_++ = c;
  }
  void put(std::string_view text) {
    if (text.size() <= static_cast<std::size_t>(end_ - next_)) {
      std::memcpy(next_, text.data(), text.size());
      next_ += text.size();
    } else {
      put_long(text);
    }
  }
  void fill(char c, std::size_t count) {
    while (count > 0) {
      if (next_ == end_) pass_on();
      const std::size_t n = std::min(count, static_cast<std::size_t>(end_ - next_));
      std::memset(next_, c, n);
      next_ += n;
      count -= n;
    }
  }

 protected:
  TextSink() = default;
  // Called when the buffer is full: takes its bytes and sets a buffer with room for more. May
  // raise; the sink is then not used again.
  virtual void pass_on() = 0;
  void set_buffer(char* begin, char* end) {
    begin_ = next_ = begin;
    end_ = end;
  }
  // The bytes put since the buffer was last set.
  std::string_view pending() const { return {begin_, static_cast<std::size_t>(next_ - begin_)}; }

 private:
  void put_long(std::string_view text) {
    while (!text.empty()) {
      if (next_ == end_) pass_on();
      const std::size_t n = std::min(text.size(), static_cast<std::size_t>(end_ - next_));
      std::memcpy(next_, text.data(), n);
      next_ += n;
      text.remove_prefix(n);
    }
  }

  char* begin_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// A sink into a string, for callers that want the text whole (tests, fuzzers). Used once.
class StringSink final : public TextSink {
 public:
  StringSink() : text_(256, '\0') { set_buffer(text_.data(), text_.data() + text_.size()); }
  // The text put.
  std::string take() && {
    text_.resize(static_cast<std::size_t>(pending().data() - text_.data()) + pending().size());
    return std::move(text_);
  }

 private:
  void pass_on() override {
    const std::size_t full = text_.size();
    text_.resize(full * 2);
    set_buffer(text_.data() + full, text_.data() + text_.size());
  }

  std::string text_;
};

}  // namespace tarvex::contracts
