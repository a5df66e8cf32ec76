// The page's own files, served for GET: "/" is index.html, a path that ends in "/" is that
// folder's index.html. Nothing outside the page folder is ever served: paths with "." or ".."
// parts, hidden names, NUL or backslash characters are refused, and a file reached through a
// link must still lie inside the folder once every link is resolved.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "LiveDesktop/HttpExchange.h"

namespace sim::live {

inline constexpr std::uintmax_t kLargestPageFile = 16 << 20;

class StaticPages {
public:
    explicit StaticPages(const std::filesystem::path& folder);

    // The file for a decoded request path (200), or 404 when there is none to serve.
    HttpResponse serve(const std::string& path) const;

private:
    std::optional<std::filesystem::path> fileFor(const std::string& path) const;

    std::filesystem::path folder_;  // resolved: no links, absolute
};

// The media type of a page file, by its extension.
std::string mediaTypeOf(const std::filesystem::path& file);

}  // namespace sim::live
