// The texts of the catalogue definitions, held once each. Catalogues repeat
// most of their texts (units, channel types, value-list entries, display
// texts of text ids, categories, conversion rules) across items and products,
// so every text field of a definition is a handle to one interned copy.
//
// A PooledText is a pointer to an immutable string of a process-wide pool:
// equal texts give the same pointer, a text once interned stays until the
// process ends, so a handle never dangles, whatever owns it. Handles are
// copied freely and read from any thread; interning is thread-safe.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

class PooledText {
public:
  PooledText() noexcept : text_(&Empty()) {}
  // Interns the text (an empty text takes no room in the pool). Explicit
  // from a string, so that a handle and a string meet as strings wherever
  // both are offered (a conditional, an overload); a field takes a string by
  // assignment, and a literal as it is.
  explicit PooledText(std::string_view text);
  explicit PooledText(const std::string& text) : PooledText(std::string_view(text)) {}
  PooledText(const char* text) : PooledText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
  PooledText& operator=(std::string_view text) { return *this = PooledText(text); }
  PooledText& operator=(const std::string& text) { return *this = PooledText(text); }
  PooledText& operator=(const char* text) { return *this = PooledText(text); }

  const std::string& str() const noexcept { return *text_; }
  operator const std::string&() const noexcept { return *text_; }  // NOLINT: reads as the string it names

  const char* c_str() const noexcept { return text_->c_str(); }
  const char* data() const noexcept { return text_->data(); }
  size_t size() const noexcept { return text_->size(); }
  size_t length() const noexcept { return text_->size(); }
  bool empty() const noexcept { return text_->empty(); }
  char operator[](size_t i) const noexcept { return (*text_)[i]; }
  char front() const noexcept { return text_->front(); }
  char back() const noexcept { return text_->back(); }
  std::string::const_iterator begin() const noexcept { return text_->begin(); }
  std::string::const_iterator end() const noexcept { return text_->end(); }
  size_t find(std::string_view part, size_t from = 0) const noexcept { return text_->find(part, from); }
  size_t find(char c, size_t from = 0) const noexcept { return text_->find(c, from); }
  std::string substr(size_t from, size_t count = std::string::npos) const { return text_->substr(from, count); }
  int compare(std::string_view other) const noexcept { return text_->compare(other); }

  // Equal texts are one pooled string: comparing handles compares pointers.
  friend bool operator==(const PooledText& a, const PooledText& b) noexcept { return a.text_ == b.text_; }
  friend bool operator==(const PooledText& a, const std::string& b) noexcept { return *a.text_ == b; }
  friend bool operator==(const PooledText& a, const char* b) noexcept { return *a.text_ == b; }
  friend bool operator==(const PooledText& a, std::string_view b) noexcept { return *a.text_ == b; }
  friend bool operator<(const PooledText& a, const PooledText& b) noexcept { return *a.text_ < *b.text_; }
  friend std::string operator+(const PooledText& a, const std::string& b) { return *a.text_ + b; }
  friend std::string operator+(const std::string& a, const PooledText& b) { return a + *b.text_; }
  friend std::string operator+(const PooledText& a, const char* b) { return *a.text_ + b; }
  friend std::string operator+(const char* a, const PooledText& b) { return a + *b.text_; }

  friend std::ostream& operator<<(std::ostream& out, const PooledText& text) { return out << *text.text_; }

  // How many distinct texts the pool holds (the empty text not counted).
  static size_t PoolSize();
  // Drops the texts pooled since the pool held `poolSize`, so that a fuzz
  // target's every input finds the pool as the first did. No handle to
  // such a text may be left, nor a value list that holds one.
  static void ShrinkPoolTo(size_t poolSize);

private:
  static const std::string& Empty() noexcept;
  const std::string* text_;
};
