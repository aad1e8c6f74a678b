#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace engine {

std::errc parseNumber(std::string_view text, double& out) {
    // One sign at most ("+-1" is no number), then a digit or a point:
    // never "inf" or "nan".
    const std::size_t signs = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (text.size() <= signs ||
        !(std::isdigit(static_cast<unsigned char>(text[signs])) || text[signs] == '.'))
        return std::errc::invalid_argument;
    if (text[0] == '+')
        text.remove_prefix(1); // from_chars takes a minus sign only
    double d = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ptr != text.data() + text.size())
        return std::errc::invalid_argument;
    if (ec != std::errc())
        return ec;
    if (!std::isfinite(d))
        return std::errc::result_out_of_range;
    out = d;
    return {};
}

} // namespace engine
