// How the live desktop's server frames requests on a connection before the server library reads
// them: where the first request in the bytes received ends (its head and the body its
// Content-Length gives), or why it is refused; and the answers the server writes itself.
#pragma once

#include <cstddef>
#include <string>

namespace sim::live {

inline constexpr int kRequestSeconds = 10;
inline constexpr std::size_t kLargestHead = 64 << 10;

// Where the first request in `bytes` ends: 0 while it is not whole, or the status to refuse it
// with (431 a head too long, 413 a body too long, 411 a body without a length, 400 an unreadable
// head or lengths that disagree, 403 a Host with spaces around it).
struct RequestExtent {
    std::size_t length = 0;
    int refusal = 0;
};
RequestExtent firstRequest(const std::string& bytes);

// Answers are not compressed: they are small and their clients near, and compressing one (Brotli,
// when a browser offers it) took longer than the rest of its request. Drops the Accept-Encoding
// lines from the head of the request that takes the first `length` bytes of `bytes` (as
// firstRequest framed it); its new length.
std::size_t withoutAcceptEncoding(std::string& bytes, std::size_t length);

// The JSON body of an error the server answers itself: {"error": "…"}.
std::string errorBody(int status);
// The whole answer of that status, closing the connection.
std::string closingAnswer(int status);

}  // namespace sim::live
