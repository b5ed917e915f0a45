// Windows only (its code is in wide_text_win32.cpp): UTF-8 to and from the UTF-16 of the
// wide-character API, and system error codes to words.
#pragma once

#include <string>

namespace skelbrook {

std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
std::string Win32ErrorText(unsigned long code);

}  // namespace skelbrook
