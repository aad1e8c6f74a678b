#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace engine {

std::errc parseNumber(std::string_view text, double& out) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1); // from_chars takes a minus sign only
    // After the sign, a digit or a point: never a second sign ("+-1"),
    // never "inf" or "nan".
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                          text.front() == '.' ||
                          (text.front() == '-' && text.size() > 1 &&
                           (std::isdigit(static_cast<unsigned char>(text[1])) || text[1] == '.'))))
        return std::errc::invalid_argument;
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
