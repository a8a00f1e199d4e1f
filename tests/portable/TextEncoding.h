#pragma once

#include "ui/MessageSet.h"

#include <string>

// A UTF-8 text in UTF-16, as the product keeps its texts, converted by the
// platform's own converter, independently of how the product stores them.
// An unconvertible text gives an empty result.
std::basic_string<MessageChar> EncodeInUtf16(const std::string& utf8);
