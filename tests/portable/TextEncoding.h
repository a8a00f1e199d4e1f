#pragma once

#include <string>

// Encodes a UTF-8 text in a Windows code page (936, 950, 1252) with the
// platform's own converter, independently of how the product stores it.
// An unconvertible text gives an empty result.
std::string EncodeInCodePage(const std::string& utf8, unsigned int codePage);
