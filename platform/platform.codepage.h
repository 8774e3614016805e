// The system's 8-bit ("ANSI") code page and the encodings of text files.
//
// The 8-bit code page stands for the one a Western European desktop uses:
// Windows-1252, that is Latin-1 (U+00A0..U+00FF on the bytes A0..FF, ASCII
// below 80) with the typographic characters of 80..9F (euro sign, quotes,
// dashes, ...). Its five unassigned bytes 81, 8D, 8F, 90 and 9D map to the C1
// control characters of the same value, so every byte string survives a round
// trip through UTF-8 unchanged. Characters the code page cannot hold become
// '?' on the way back.
//
// Text files carry their encoding in a byte-order mark: EF BB BF (UTF-8),
// FF FE (UTF-16 little-endian) or FE FF (UTF-16 big-endian); a file without
// one is in the 8-bit code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// UTF-8 for text in the 8-bit code page; never fails.
std::string ansi_to_utf8(std::string_view text);
// The 8-bit code page for UTF-8 text: one byte per character, '?' for a
// character the code page cannot hold and for each byte of an invalid UTF-8
// sequence; never fails.
std::string utf8_to_ansi(std::string_view text);

enum class TTextEncoding { ansi, utf8, utf16le, utf16be };

// The encoding a text file's first bytes announce, and the length of its
// byte-order mark (0 for `ansi`).
TTextEncoding detect_text_encoding(std::string_view bytes, size_t* bom_length = nullptr);
// The content of a text file as UTF-8 without the byte-order mark. A UTF-16
// file with an odd byte count drops its last byte; unpaired surrogates become
// U+FFFD.
std::string decode_text_file(std::string_view bytes);
// The bytes of a text file holding `text` (UTF-8) in `encoding`, with the
// byte-order mark of that encoding (none for `ansi`).
std::string encode_text_file(std::string_view text, TTextEncoding encoding);

// The lines of `text`: a line ends at CR LF, LF or CR; a break at the very end
// starts no further line, so "" has no lines and "a\r\n" one.
std::vector<std::string> text_lines(std::string_view text);
