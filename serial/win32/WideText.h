#pragma once

#include <string>

namespace pellion::win32 {

// Windows speaks UTF-16; the core keeps UTF-8.
std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);

}  // namespace pellion::win32
