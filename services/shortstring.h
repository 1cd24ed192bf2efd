// Short strings: a length byte followed by a fixed number of character bytes.
//
// Every text of the system is a short string. A variable has a capacity N
// (1..255) fixed by its type; every assignment cuts the value to N
// characters. The layout is exactly one length byte and N bytes, so arrays
// of short strings have a predictable element size (a String80 is 81 bytes).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ehi {

/// A short string of capacity N: at most N bytes, no encoding, no terminator.
template <int N>
struct ShortString {
  static_assert(N >= 1 && N <= 255, "capacity must be 1..255");

  /// Number of characters held (0..N).
  uint8_t Len;
  /// The characters; only the first Len are meaningful.
  char Chars[static_cast<size_t>(N)];

  /// The empty string. constexpr, so that large static tables of short
  /// strings are constant-initialised (zero pages) rather than filled in by
  /// code at start-up.
  constexpr ShortString() noexcept : Len(0), Chars{} {}
  /// A copy of `s`, cut to the capacity.
  ShortString(std::string_view s) { Assign(s); }  // NOLINT: implicit by design
  /// A copy of the NUL-terminated `s`, cut to the capacity.
  ShortString(const char* s) { Assign(std::string_view(s)); }  // NOLINT
  /// A copy of another short string, cut to this capacity.
  template <int M>
  ShortString(const ShortString<M>& o) {  // NOLINT
    Assign(o.View());
  }
  /// A copy of another string of the same type.
  ShortString(const ShortString& o) { Assign(o.View()); }
  /// Assignments: the value cut to this capacity.
  ///@{
  ShortString& operator=(const ShortString& o) {
    Assign(o.View());
    return *this;
  }
  template <int M>
  ShortString& operator=(const ShortString<M>& o) {
    Assign(o.View());
    return *this;
  }
  ShortString& operator=(std::string_view s) {
    Assign(s);
    return *this;
  }
  ShortString& operator=(const char* s) {
    Assign(std::string_view(s));
    return *this;
  }
  ///@}

  /// Replaces the value by the first min(length, N) bytes of `s`.
  void Assign(std::string_view s) {
    size_t n = s.size() < size_t(N) ? s.size() : size_t(N);
    // memmove: `s` may point into this very string.
    if (n) std::memmove(Chars, s.data(), n);
    Len = uint8_t(n);
  }

  /// The value as a view; valid while the string is unchanged.
  std::string_view View() const { return std::string_view(Chars, Len); }
  /// The value as a view, wherever a view is wanted.
  operator std::string_view() const { return View(); }  // NOLINT
  /// The value as a std::string (for tests and messages).
  std::string Str() const { return std::string(Chars, Len); }
  /// Number of characters held.
  int Length() const { return Len; }
  /// Whether no character is held.
  bool Empty() const { return Len == 0; }
  /// Character at a 1-based position; the caller keeps 1 <= i <= Len.
  char At(int i) const { return Chars[i - 1]; }
  /// Writable character at a 1-based position (1 <= i <= Len).
  char& At(int i) { return Chars[i - 1]; }
  /// Capacity of the type.
  static constexpr int Capacity() { return N; }
};

/// A general string: capacity 255.
using String = ShortString<255>;
/// The same as String.
using String255 = ShortString<255>;
/// The 80-character entries of a string list.
using String80 = ShortString<80>;
/// A 10-character short string.
using String10 = ShortString<10>;

static_assert(sizeof(String80) == 81, "String80 must be 81 bytes");
static_assert(sizeof(String10) == 11, "String10 must be 11 bytes");
static_assert(sizeof(String) == 256, "String must be 256 bytes");

/// The same characters, whatever the capacities.
template <int A, int B>
bool operator==(const ShortString<A>& a, const ShortString<B>& b) {
  return a.View() == b.View();
}
/// The same characters as `b`.
template <int A>
bool operator==(const ShortString<A>& a, std::string_view b) {
  return a.View() == b;
}

/// Stores `src` into `dst`, keeping its first min(length, N) characters.
template <int N>
void ShortAssign(ShortString<N>& dst, std::string_view src) {
  dst.Assign(src);
}

/// Plain unsigned byte order: negative, 0 or positive as `left` orders
/// before, equal to or after `right`; a prefix orders before its extensions.
int ShortCompare(std::string_view left, std::string_view right);

/// `first` followed by as much of `second` as fits in 255 characters.
String ShortConcat(std::string_view first, std::string_view second);

/// The substring from 1-based `index`, at most `count` characters. An index
/// below 1 counts as 1, a negative count as 0; an index past the end gives "".
String ShortCopy(std::string_view s, int index, int count);

/// Removes `count` characters from 1-based `index` in place. Nothing happens
/// when the index lies outside 1..length or the count is below 1.
template <int N>
void ShortDelete(ShortString<N>& s, int index, int count) {
  int len = s.Len;
  if (index < 1 || index > len || count < 1) return;
  if (count > len - index + 1) count = len - index + 1;
  std::memmove(s.Chars + index - 1, s.Chars + index - 1 + count,
               size_t(len - (index - 1) - count));
  s.Len = uint8_t(len - count);
}

/// 1-based position of the first `c` in `s`, 0 if none.
int CharPos(char c, std::string_view s);

/// 1-based position of the first occurrence of `needle` in `s`; 0 if there is
/// none or if `needle` is empty.
int SubPos(std::string_view needle, std::string_view s);

/// "a".."z" become "A".."Z"; every other byte is unchanged.
inline char UpCaseChar(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

}  // namespace ehi
