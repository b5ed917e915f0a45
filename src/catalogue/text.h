// Text from the disk: fixed-size fields of 8-bit characters (Windows-1252) ending at the first
// zero byte, decoded into UTF-8; and the cleaning that makes a title safe in a file name.
#pragma once

#include <cstdint>
#include <string>

namespace skelbrook {

// Decodes bytes [first, last] (inclusive) up to the first zero byte from Windows-1252 into UTF-8.
// Bytes the code page leaves undefined map to the same code point.
std::string FieldText(const uint8_t* data, int first, int last);
std::string DecodeCp1252(const std::string& bytes);
// Appends code point `cp` to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Replaces * ? / \ : | < > " ; . , [ ] and the control characters (codes 1-31 and 127) by "_".
std::string SanitiseFileName(std::string text);

// "###,###,###,### Bytes": the size grouped by threes with ","; 0 gives " Bytes".
std::string SizeText(int64_t bytes);

// A value for a line of tab-separated text (the list file, the command line's list): line ends
// and tabs in the disk's text (a damaged channel name) become blanks.
std::string OnOneLine(std::string text);

}  // namespace skelbrook
