// Texts for assertions: the table's own text by id, and UTF-8 literals in code page 932.
#pragma once

#include <string>

std::string Text(unsigned id);
std::string Cp932(const std::string& utf8);
std::string Utf8(const std::string& cp932);
