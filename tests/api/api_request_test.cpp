#include "api/api_request.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Kind = ApiRequest::Kind;

QByteArray Get(const QByteArray& query, const QByteArray& headers = "Host: 127.0.0.1\r\n") {
  return "GET /api.zx?" + query + " HTTP/1.1\r\n" + headers + "\r\n";
}
QByteArray Post(const QByteArray& body) {
  return "POST /api.zx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
         QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

TEST(RequestCollector, WaitsForTheHeaderBlockAndTheDeclaredBody) {
  RequestCollector collector;
  const QByteArray request = Post("UseKey&getcount&");
  // One byte at a time, as a slow client may send it.
  for (qsizetype i = 0; i + 1 < request.size(); ++i)
    ASSERT_EQ(collector.Add(request.mid(i, 1)), RequestCollector::State::Incomplete) << i;
  EXPECT_EQ(collector.Add(request.right(1)), RequestCollector::State::Complete);
  EXPECT_EQ(collector.Take(), request);
  // A request without a body is complete at its blank line; what follows is not kept.
  EXPECT_EQ(collector.Add(Get("k&getcount&") + "extra"), RequestCollector::State::Complete);
  EXPECT_EQ(collector.Take(), Get("k&getcount&"));
}

TEST(RequestCollector, GivesUpPastEightKibibytes) {
  RequestCollector endless;
  RequestCollector::State state = RequestCollector::State::Incomplete;
  for (int i = 0; i < 1000 && state == RequestCollector::State::Incomplete; ++i)
    state = endless.Add("X-Header: never ends\r\n");
  EXPECT_EQ(state, RequestCollector::State::TooLong);
  EXPECT_EQ(endless.Add("\r\n\r\n"), RequestCollector::State::TooLong);
  RequestCollector huge_body;
  EXPECT_EQ(huge_body.Add("POST / HTTP/1.1\r\nContent-Length: 100000\r\n\r\nx"),
            RequestCollector::State::TooLong);
}

TEST(RequestCollector, ADeclaredLengthPastTheBudgetIsTooLongWhateverItsSize) {
  for (const QByteArray length :
       {"8193", "4611686018427387904", "9223372036854775000", "9223372036854775807"}) {
    RequestCollector collector;
    EXPECT_EQ(collector.Add("POST / HTTP/1.1\r\nContent-Length: " + length + "\r\n\r\nUseKey&"),
              RequestCollector::State::TooLong)
        << length.toStdString();
  }
}

struct ParseCase {
  const char* name;
  QByteArray request;
  Kind kind;
  QStringList elements;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

class ParseApiRequestTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseApiRequestTest, DecodesChecksAndSplits) {
  const ParseCase& c = GetParam();
  const ApiRequest request = ParseApiRequest(c.request, u"UseKey"_s);
  EXPECT_EQ(request.kind, c.kind);
  EXPECT_EQ(request.elements, c.elements);
}

QByteArray Padded(int characters) {
  // A GET of exactly this many characters after decoding.
  const QByteArray start = Get("usekey&getcount&", "X: ");
  return start.left(start.size() - 2) + QByteArray(characters - start.size(), 'a') + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ParseApiRequestTest,
    ::testing::Values(
        ParseCase{"Get",
                  Get("UseKey&getcount&"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount"_s, u" http/1.1"_s}},
        ParseCase{"PasswordInCapitals",
                  Get("USEKEY&getcount&"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount"_s, u" http/1.1"_s}},
        ParseCase{"NoAmpersandAfterTheCommand",
                  Get("UseKey&getcount"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount http/1.1"_s}},
        ParseCase{
            "Post", Post("UseKey&getcount&"), Kind::kDispatch, {u"usekey"_s, u"getcount"_s, u""_s}},
        ParseCase{"PostTwoElements",
                  Post("UseKey&resethistory"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"resethistory"_s}},
        ParseCase{"EscapedAmpersandSplits",
                  Get("UseKey%26getcount%26"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount"_s, u" http/1.1"_s}},
        ParseCase{
            "ChineseArgument",
            Get("UseKey&sethttp&zdy&http://a.test/&%D6%D0%CE%C4&"),
            Kind::kDispatch,
            {u"usekey"_s, u"sethttp"_s, u"zdy"_s, u"http://a.test/"_s, u"中文"_s, u" http/1.1"_s}},
        ParseCase{"WrongPassword", Get("Other&getcount&"), Kind::kIgnore, {}},
        ParseCase{"NoAmpersandAtAll", Get("UseKey"), Kind::kIgnore, {}},
        ParseCase{"NeitherGetNorPost",
                  "PUT /api.zx?UseKey&getcount& HTTP/1.1\r\n\r\n",
                  Kind::kIgnore,
                  {}},
        ParseCase{
            "GetOfAnotherPath", "GET /other?UseKey&getcount& HTTP/1.1\r\n\r\n", Kind::kIgnore, {}},
        ParseCase{"NoLineEndAfterTheQuery", "GET /api.zx?UseKey&getcount&", Kind::kFail, {}},
        ParseCase{
            "PostWithoutBlankLine", "POST /api.zx HTTP/1.1\r\nUseKey&getcount&", Kind::kIgnore, {}},
        ParseCase{"Exactly512",
                  Padded(512),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount"_s, u" http/1.1"_s}},
        ParseCase{"Over512", Padded(513), Kind::kIgnore, {}},
        ParseCase{"InvalidGbkEscapes",
                  Get("UseKey&getcount&%FF%FF%81"),
                  Kind::kDispatch,
                  {u"usekey"_s, u"getcount"_s, u"\ufffd\ufffd\ufffd http/1.1"_s}},
        ParseCase{"BinaryGarbage", QByteArray("\x00\xff\x81&\r\n\r\n", 8), Kind::kIgnore, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(ApiResponse, IsTheFixedHeaderAndTheBody) {
  EXPECT_EQ(
      ApiResponse(u"1|0"_s),
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: 3\r\n\r\n1|0");
  EXPECT_EQ(ApiResponse(u""_s),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: 0\r\n\r\n");
}

}  // namespace
}  // namespace ph
