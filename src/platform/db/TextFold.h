#pragma once

#include <string>
#include <string_view>

namespace engine {

// Case folding for comparisons that ignore the case of letters, in every
// script Unicode pairs capitals and small letters for.
char32_t foldCase(char32_t c);

// Decodes UTF-8 into folded code points; invalid bytes stand for themselves.
void decodeFolded(std::string_view utf8, std::u32string& out);

} // namespace engine
