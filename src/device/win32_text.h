// Windows only: UTF-8 paths to the wide-character API, and system error codes to words.
#pragma once
#ifdef _WIN32

#include <string>

namespace skelbrook {

std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
std::string Win32ErrorText(unsigned long code);

}  // namespace skelbrook

#endif
