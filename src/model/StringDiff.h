#pragma once

#include <string>
#include <string_view>

// The difference form in which a header set keeps the message identifier of
// every part but the first: a string of operations against the first part's
// identifier. Reading left to right with a cursor in the base:
//   a byte other than ! " # $   output it, base cursor + 1
//   !! "" ## $$                 output that byte once, base cursor + 1
//   # and a digit n (1-9)       copy n bytes from the base cursor
//   ! and two digits nn         copy nn bytes from the base cursor
//   " and a digit n             output the next n bytes as they are (insertion)
//   $ and a digit n             skip n bytes of the base (deletion)

inline constexpr int kMaxStringDiff = 2048;

// The difference of text against base, written into out (room for
// kMaxStringDiff bytes); its length, or -1 when it would not fit.
int EncodeStringDiff(std::string_view base, std::string_view text, char* out);

// Applies diff to base into out; false for a malformed difference or one that
// reaches past the end of base (out is then incomplete).
bool DecodeStringDiff(std::string_view base, std::string_view diff, std::string& out);

// Whether applying diff to base gives exactly text (no allocation).
bool StringDiffReproduces(std::string_view base, std::string_view diff, std::string_view text);

// What a header set stores for text against base: the difference when both
// are non-empty, the difference is shorter than text and decodes back to text
// exactly; its length then, else -1 (store text plain).
int MakeStringDiff(std::string_view base, std::string_view text, char* out);
