#include "LiveDesktop/HttpExchange.h"

#include <algorithm>
#include <cctype>

namespace sim::live {
namespace {

bool sameWithoutCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameWithoutCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> HttpRequest::queryValue(std::string_view name) const {
    for (const auto& [key, value] : query) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace sim::live
