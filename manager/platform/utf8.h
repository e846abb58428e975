#pragma once

#include <string>

namespace pluginManager
{
// Strict UTF-8: no overlong form, no surrogate, nothing above U+10FFFF. The framework decodes an
// overlong form into the character it stands for ("\xC0\xAE" into ".", after a check of the text
// has passed) and reads a text with one stray byte as another encoding altogether, so every text
// that names a file or is kept on disk must pass this before the framework sees it.
bool isUtf8(const std::string& text);

// The character that begins at index of a text that passed isUtf8; index moves past it.
char32_t nextCharacter(const std::string& text, size_t& index);

// Appends character, a Unicode scalar value, to text as UTF-8.
void appendUtf8(std::string& text, char32_t character);
}
