#pragma once

#include <string>
#include <string_view>

namespace engine {

// Case folding for comparisons that ignore the case of letters: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic, which covers the names
// geologists write.
char32_t foldCase(char32_t c);

// Decodes UTF-8 into folded code points; invalid bytes stand for themselves.
void decodeFolded(std::string_view utf8, std::u32string& out);

} // namespace engine
