#include "download/response_head.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using State = ResponseHeadReader::State;

struct FeedCase {
  const char* name;
  std::vector<std::string> blocks;
  State state;
  std::string head;
  std::string body;
};

TEST(ResponseHeadReader, FindsTheEndOfTheHeadAcrossBlocks) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n";
  const std::vector<FeedCase> cases = {
      {"one block with body", {head + "abc"}, State::kComplete, head, "abc"},
      {"head alone", {head}, State::kComplete, head, ""},
      {"split inside a line",
       {"HTTP/1.1 200 OK\r\nCont", "ent-Length: 3\r\n\r\nab"},
       State::kComplete,
       head,
       "ab"},
      {"empty line split 1+3",
       {"HTTP/1.1 200 OK\r\nContent-Length: 3\r", "\n\r\nabc"},
       State::kComplete,
       head,
       "abc"},
      {"empty line split 3+1",
       {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r", "\nabc"},
       State::kComplete,
       head,
       "abc"},
      {"empty line one byte at a time",
       {"HTTP/1.1 200 OK\r\nContent-Length: 3", "\r", "\n", "\r", "\n", "a"},
       State::kComplete,
       head,
       ""},
      {"no empty line yet",
       {"HTTP/1.1 200 OK\r\n", "Content-Length: 3\r\n"},
       State::kIncomplete,
       "",
       ""},
      {"blocks after the end belong to nobody", {head + "a", "bc"}, State::kComplete, head, "a"},
  };
  for (const FeedCase& c : cases) {
    ResponseHeadReader reader;
    for (const std::string& block : c.blocks) reader.Feed(block);
    EXPECT_EQ(reader.state(), c.state) << c.name;
    EXPECT_EQ(reader.Head(), c.head) << c.name;
    EXPECT_EQ(reader.BodyStart(), c.body) << c.name;
  }
}

TEST(ResponseHeadReader, RefusesHeadsBeyondSixtyFourKibibytes) {
  const std::string status = "HTTP/1.1 200 OK\r\n";
  const auto headOf = [&](size_t total) {  // a head of exactly total bytes
    const std::string filler = "X-Pad: " + std::string(total - status.size() - 11, 'p') + "\r\n";
    return status + filler + "\r\n";
  };
  const std::string fits = headOf(kMaxResponseHeadBytes);
  ASSERT_EQ(fits.size(), kMaxResponseHeadBytes);
  const std::string over = headOf(kMaxResponseHeadBytes + 1);

  for (const auto& [head, expected] : std::vector<std::pair<std::string, State>>{
           {fits, State::kComplete}, {over, State::kTooLong}}) {
    ResponseHeadReader reader;
    for (size_t at = 0; at < head.size(); at += 8191) reader.Feed(head.substr(at, 8191));
    EXPECT_EQ(reader.state(), expected) << head.size();
  }

  ResponseHeadReader endless;
  for (int i = 0; i < 20 && endless.state() == State::kIncomplete; ++i)
    endless.Feed(std::string(8191, 'x'));
  EXPECT_EQ(endless.state(), State::kTooLong);
  EXPECT_EQ(endless.Feed("\r\n\r\n"), State::kTooLong);
}

struct ParseCase {
  const char* head;
  int32_t status;
  int64_t contentLength;
  std::optional<int64_t> rangeStart;
};

TEST(ParseResponseHead, ReadsStatusLengthAndRange) {
  const std::vector<ParseCase> cases = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 1500\r\n\r\n", 200, 1500, std::nullopt},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 1000-1499/1500\r\n"
       "Content-Length: 500\r\n\r\n",
       206, 500, 1000},
      {"HTTP/1.1 200 OK\r\ncontent-length:42\r\n\r\n", 200, 42, std::nullopt},
      {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: \t7\r\n\r\n", 200, 7, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\n", 200, 5000000000LL, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", 200, INT64_MAX,
       std::nullopt},
      // Only a header line counts: not a longer name, not the status line, not the body.
      {"HTTP/1.1 200 OK\r\nX-Content-Length: 9\r\n\r\nContent-Length: 8\r\n", 200, 0, std::nullopt},
      {"HTTP/1.1 200 Content-Length: 9\r\n\r\n", 200, 0, std::nullopt},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 200, 0, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 20\r\n\r\n", 200, 10,
       std::nullopt},
      {"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n", 302, 0, std::nullopt},
      {"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */10\r\n\r\n", 416, 0,
       std::nullopt},
      {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n", 0, 3, std::nullopt},
      {"http/1.1 200 OK\r\n\r\n", 0, 0, std::nullopt},
      {"HTTP/1.1 2000 OK\r\n\r\n", 0, 0, std::nullopt},
      {"<html>HTTP/1.1 200 OK\r\n\r\n", 0, 0, std::nullopt},
      {"HTTP/1.1 206 Partial\r\ncontent-range: BYTES 0-9/10\r\n\r\n", 206, 0, 0},
      {"HTTP/1.1 206 Partial\r\nContent-Range: items 0-9/10\r\n\r\n", 206, 0, std::nullopt},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 5\r\n\r\n", 206, 0, std::nullopt},
  };
  for (const ParseCase& c : cases) {
    const ResponseHead head = ParseResponseHead(c.head);
    EXPECT_EQ(head.status, c.status) << c.head;
    EXPECT_EQ(head.contentLength, c.contentLength) << c.head;
    EXPECT_EQ(head.rangeStart, c.rangeStart) << c.head;
  }
}

}  // namespace
