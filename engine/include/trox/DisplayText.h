// What a server says, made safe to show: the engine's messages quote names and replies that the
// server chose, and those reach a terminal and the log. Only the shown copy is changed; the bytes
// used for file operations stay exact.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest line (in shown bytes) before it is cut with "...[N more bytes]", N counting the
// bytes of the original line that were left out.
constexpr size_t kDisplayLineLimit = 4096;

// The text with line breaks ("\n" and "\r\n") and tabs kept and valid UTF-8 kept as it is, but
// with every other control character shown as "\xNN" (a lone CR as "\x0d", DEL as "\x7f"), each
// byte that is not part of valid UTF-8 as "\xNN", and C1 controls and the bidirectional
// embeddings, overrides and isolates (U+202A to U+202E, U+2066 to U+2069) as "\uNNNN". A
// backslash is left alone: a name or path that holds one stays readable, and the escapes matter
// for what a terminal does, not for telling a literal "\x1b" from an escaped one.
std::string DisplayText(std::string_view text);
