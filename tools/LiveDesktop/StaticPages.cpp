#include "LiveDesktop/StaticPages.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace sim::live {
namespace {

// Each part between slashes, empty parts dropped; nothing when a part is one that could leave
// the folder or name a hidden file.
std::optional<std::vector<std::string>> safeParts(const std::string& path) {
    if (path.empty() || path.front() != '/' ||
        path.find_first_of(std::string("\\\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (!part.empty()) {
            if (part.front() == '.') {
                return std::nullopt;  // ".", ".." and hidden names
            }
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

bool isInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
    auto fileParts = file.begin();
    for (const auto& part : folder) {
        if (fileParts == file.end() || *fileParts != part) {
            return false;
        }
        ++fileParts;
    }
    return fileParts != file.end();
}

HttpResponse notFound() {
    return {404, "application/json", R"({"error":"no such page file"})", {}, std::nullopt};
}

}  // namespace

StaticPages::StaticPages(const std::filesystem::path& folder) {
    std::error_code error;
    folder_ = std::filesystem::canonical(folder, error);
    if (error) {
        folder_ = std::filesystem::absolute(folder, error).lexically_normal();
    }
}

std::optional<std::filesystem::path> StaticPages::fileFor(const std::string& path) const {
    const std::optional<std::vector<std::string>> parts = safeParts(path);
    if (!parts) {
        return std::nullopt;
    }
    std::filesystem::path file = folder_;
    for (const std::string& part : *parts) {
        file /= part;
    }
    if (parts->empty() || path.back() == '/') {
        file /= "index.html";
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(file, error);
    if (error || !isInside(resolved, folder_) ||
        !std::filesystem::is_regular_file(resolved, error) ||
        std::filesystem::file_size(resolved, error) > kLargestPageFile || error) {
        return std::nullopt;
    }
    return resolved;
}

HttpResponse StaticPages::serve(const std::string& path) const {
    const std::optional<std::filesystem::path> file = fileFor(path);
    if (!file) {
        return notFound();
    }
    std::ifstream in(*file, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    if (!in) {
        return notFound();
    }
    return {200, mediaTypeOf(*file), contents.str(), {{"Cache-Control", "no-cache"}}, std::nullopt};
}

std::string mediaTypeOf(const std::filesystem::path& file) {
    static const std::map<std::string, std::string> kTypes{
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".map", "application/json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
        {".woff2", "font/woff2"},
    };
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto found = kTypes.find(extension);
    return found == kTypes.end() ? "application/octet-stream" : found->second;
}

}  // namespace sim::live
