// Where the server finds a request's end in the bytes a connection sent, and what it refuses
// before the request is read: each case as the watcher would see its bytes.
#include <gtest/gtest.h>

#include <string>

#include "LiveDesktop/HttpFraming.h"
#include "LiveDesktop/RequestBodies.h"

namespace {

using sim::live::firstRequest;

TEST(LiveDesktopFraming, ARequestEndsWithItsHeadAndTheBodyItsLengthGives) {
    const std::string get = "GET /api/desktop HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n";
    EXPECT_EQ(firstRequest(get).length, get.size());
    EXPECT_EQ(firstRequest(get + "GET / HTTP/1.1\r\n").length, get.size()) << "the next one waits";
    EXPECT_EQ(firstRequest(get.substr(0, get.size() - 1)).length, 0u) << "the head is not whole";

    const std::string post = "POST /api/hand HTTP/1.1\r\ncontent-length: 5\r\n\r\n";
    EXPECT_EQ(firstRequest(post + "{\"a\"").length, 0u) << "the body is not whole";
    EXPECT_EQ(firstRequest(post + "{\"a\"}").length, post.size() + 5);
    const std::string repeated =
        "POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length:  2 \r\n\r\n{}";
    EXPECT_EQ(firstRequest(repeated).length, repeated.size()) << "the same length twice";
}

TEST(LiveDesktopFraming, WhatCannotBeFramedIsRefusedWithItsStatus) {
    const std::string line = "POST / HTTP/1.1\r\n";
    const struct {
        std::string bytes;
        int status;
    } refused[] = {
        {line + "Transfer-Encoding: chunked\r\n\r\n", 411},
        {line + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n", 400},
        {line + "Content-Length: -1\r\n\r\n", 400},
        {line + "Content-Length: 2x\r\n\r\n", 400},
        {line + "Content-Length:\r\n\r\n", 400},
        {line + "no colon\r\n\r\n", 400},
        {line + "Content-Length: " + std::to_string(sim::live::kLargestBody + 1) + "\r\n\r\n", 413},
        {line + "X: " + std::string(sim::live::kLargestHead, 'x') + "\r\n\r\n", 431},
        {line + "X: " + std::string(sim::live::kLargestHead, 'x'), 431},
        {line + "Host:  127.0.0.1:8080\r\n\r\n", 403},
        {line + "Host: 127.0.0.1:8080 \r\n\r\n", 403},
        {line + "Host:\r\n\r\n", 403},
    };
    for (const auto& [bytes, status] : refused) {
        const sim::live::RequestExtent extent = firstRequest(bytes);
        EXPECT_EQ(extent.refusal, status) << bytes.substr(0, 80);
        EXPECT_EQ(extent.length, 0u) << bytes.substr(0, 80);
    }
    const std::string atTheBound =
        line + "Content-Length: " + std::to_string(sim::live::kLargestBody) + "\r\n\r\n";
    EXPECT_EQ(firstRequest(atTheBound).refusal, 0) << "a body of 1 MiB is taken";
}

}  // namespace
