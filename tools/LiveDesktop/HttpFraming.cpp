#include "LiveDesktop/HttpFraming.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "LiveDesktop/RequestBodies.h"

namespace sim::live {
namespace {

std::string reasonOf(int status) {
    switch (status) {
        case 400:
            return "the request cannot be read";
        case 403:
            return "the Host header must name the served address, without spaces around it";
        case 404:
            return "no such path";
        case 408:
            return "the request did not arrive whole within " + std::to_string(kRequestSeconds) +
                   " seconds";
        case 411:
            return "a body must be sent with its length (Content-Length)";
        case 413:
            return "the body is over 1 MiB";
        case 414:
            return "the request's path is too long";
        case 416:
            return "the range cannot be served";
        case 431:
            return "the request's headers are too long";
        case 503:
            return "too many connections from this address";
        default:
            return "the request failed with HTTP status " + std::to_string(status);
    }
}

const char* statusText(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Service Unavailable";
    }
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

std::string errorBody(int status) {
    return "{\"error\":\"" + reasonOf(status) + "\"}";
}

// An answer the server writes itself, closing the connection.
std::string closingAnswer(int status) {
    const std::string body = errorBody(status);
    return "HTTP/1.1 " + std::to_string(status) + " " + statusText(status) +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

RequestExtent firstRequest(const std::string& bytes) {
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return {0, bytes.size() > kLargestHead ? 431 : 0};
    }
    if (headEnd > kLargestHead) {
        return {0, 431};
    }
    std::optional<std::size_t> contentLength;
    std::size_t lineStart = bytes.find("\r\n") + 2;
    while (lineStart < headEnd) {
        const std::size_t lineEnd = bytes.find("\r\n", lineStart);
        const std::string line = bytes.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            return {0, 400};
        }
        const std::string name = lowercased(line.substr(0, colon));
        if (name == "transfer-encoding") {
            return {0, 411};
        }
        // The library drops the spaces around a value; the Host is compared as it was sent
        // (after the one space that usually follows the colon).
        if (name == "host") {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.rfind(' ', 0) == 0 ? 1 : 0);
            if (value.empty() || value != trimmed(value)) {
                return {0, 403};
            }
        }
        if (name != "content-length") {
            continue;
        }
        const std::string value = trimmed(line.substr(colon + 1));
        std::size_t length = 0;
        const auto [end, problem] =
            std::from_chars(value.data(), value.data() + value.size(), length);
        if (value.empty() || problem != std::errc() || end != value.data() + value.size() ||
            (contentLength && *contentLength != length)) {
            return {0, 400};
        }
        contentLength = length;
    }
    const std::size_t body = contentLength.value_or(0);
    if (body > kLargestBody) {
        return {0, 413};
    }
    const std::size_t length = headEnd + 4 + body;
    return {bytes.size() >= length ? length : 0, 0};
}

std::size_t withoutAcceptEncoding(std::string& bytes, std::size_t length) {
    constexpr std::string_view kName = "accept-encoding:";
    std::size_t headEnd = std::min(bytes.find("\r\n\r\n"), length);
    std::size_t line = bytes.find("\r\n");
    while (line < headEnd) {
        const std::size_t next = bytes.find("\r\n", line + 2);
        const std::string_view text(bytes.data() + line + 2, next - line - 2);
        if (text.size() < kName.size() ||
            lowercased(std::string(text.substr(0, kName.size()))) != kName) {
            line = next;
            continue;
        }
        bytes.erase(line, next - line);
        length -= next - line;
        headEnd -= next - line;
    }
    return length;
}

}  // namespace sim::live
