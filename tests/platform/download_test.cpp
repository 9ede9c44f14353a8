// Platform::Download through libcurl against tests/support/http_test_server.py on loopback,
// plain and over TLS with a certificate authority made for the run.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/case_name.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace quorvale {
namespace {

using testing::TestServer;
using F = DownloadFailure;

constexpr char kList[] = "ads.example\ntracker.example\n";
constexpr char kListEtag[] = "\"5b432994f0ae44452c604aa5a066268826bc6ea267d5bac688c2f3ddd5eac062\"";  // sha256
constexpr time_t kListTime = 1700000000;
constexpr char kListLastModified[] = "Tue, 14 Nov 2023 22:13:20 GMT";

enum class Server { kPlain, kTls, kTlsUnknownCa, kWrongName, kClosedPort };

struct DownloadCase {
  const char* name;
  Server server;
  const char* path;
  DownloadLimits limits;
  DownloadFailure failure;  // kCancelled: the progress callback asks to stop
  int http_status;
  std::string body;
  std::string detail_start = "";  // "": no detail
};
void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }

// A test program starts only the servers that its cases use.
class DownloadTest : public ::testing::TestWithParam<DownloadCase> {
 protected:
  static void SetUpTestSuite() {
    // Loopback is reached directly, whatever proxies the machine has.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
      unsetenv(name);
    }
    folder_ = std::make_unique<testing::TempDir>();
    mkdir(folder_->File("files").c_str(), 0700);
    testing::WriteBytes(folder_->File("files/list.txt"), kList);
    const utimbuf times = {kListTime, kListTime};
    utime(folder_->File("files/list.txt").c_str(), &times);
  }
  static void TearDownTestSuite() {
    for (std::unique_ptr<TestServer>* server : {&plain_, &tls_, &wrong_name_}) server->reset();
    folder_.reset();
  }

  static DownloadRequest Request(Server server, const std::string& path) {
    DownloadRequest request;
    request.url = Origin(server) + path;
    if (server == Server::kTls || server == Server::kWrongName) request.ca_file = Cert("ca.pem");
    return request;
  }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();

 private:
  static std::string Origin(Server server) {
    switch (server) {
      case Server::kPlain:
        return "http://127.0.0.1:" + Port(plain_, {"--root", folder_->File("files"), "--gzip"});
      case Server::kTls:
      case Server::kTlsUnknownCa:
        return "https://127.0.0.1:" + Port(tls_, {"--tls", Cert("server.pem"), Cert("server.key"), "--http-port-too"});
      case Server::kWrongName:
        return "https://127.0.0.1:" + Port(wrong_name_, {"--tls", Cert("wrong.pem"), Cert("wrong.key")});
      case Server::kClosedPort:
        break;
    }
    // A port that the system just gave and took back.
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }
  static std::string Port(std::unique_ptr<TestServer>& server, const std::vector<std::string>& options) {
    if (!server) server = std::make_unique<TestServer>(options);
    EXPECT_FALSE(server->ports().empty()) << "the test server did not start";
    return server->ports().empty() ? "0" : std::to_string(server->ports()[0]);
  }
  static std::string Cert(const char* name) {
    const bool made = access(folder_->File("ca.pem").c_str(), R_OK) == 0 || testing::MakeTestCertificates(folder_->path());
    EXPECT_TRUE(made);
    return folder_->File(name);
  }

  static inline std::unique_ptr<testing::TempDir> folder_;
  static inline std::unique_ptr<TestServer> plain_, tls_, wrong_name_;
};

TEST_P(DownloadTest, EndsAsExpected) {
  const DownloadCase& c = GetParam();
  DownloadRequest request = Request(c.server, c.path);
  request.limits = c.limits;
  std::uint64_t heard = 0;
  const DownloadResult result = platform_->Download(request, [&](std::uint64_t bytes) {
    heard = bytes;
    return c.failure != F::kCancelled;
  });
  EXPECT_EQ(result.outcome, c.failure == F::kNone ? DownloadResult::Outcome::kDownloaded : DownloadResult::Outcome::kFailed);
  EXPECT_EQ(result.failure, c.failure);
  EXPECT_EQ(result.http_status, c.http_status);
  EXPECT_EQ(result.body, c.body);
  EXPECT_EQ(result.detail.substr(0, c.detail_start.size()), c.detail_start);
  EXPECT_EQ(result.detail.empty(), c.detail_start.empty()) << result.detail;
  if (c.failure == F::kNone) {
    EXPECT_EQ(heard, c.body.size());
  }
}

constexpr DownloadLimits kDefault;
constexpr DownloadLimits kSmallStall{.stall_milliseconds = 300};
constexpr DownloadLimits kSmallTotal{.stall_milliseconds = 300, .total_milliseconds = 600};
const std::string kGzipBody = [] {
  std::string body;
  for (int i = 0; i < 100; ++i) body += "gzip body\n";
  return body;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadTest,
    ::testing::Values(
        DownloadCase{"NotFound", Server::kPlain, "/404", kDefault, F::kHttpStatus, 404, ""},
        DownloadCase{"ServerError", Server::kPlain, "/500", kDefault, F::kHttpStatus, 500, ""},
        DownloadCase{"Stalled", Server::kPlain, "/drip", kSmallStall, F::kStalled, 200, ""},
        DownloadCase{"Truncated", Server::kPlain, "/short", kDefault, F::kTruncated, 200, "",
                     "transfer closed with 90 bytes remaining to read"},
        DownloadCase{"Gzip", Server::kPlain, "/gzip", kDefault, F::kNone, 200, kGzipBody},
        DownloadCase{"Bomb", Server::kPlain, "/bomb", {.max_bytes = 100'000}, F::kTooBig, 200, ""},
        DownloadCase{"Loop", Server::kPlain, "/loop", {.max_redirects = 3}, F::kTooManyRedirects, 302, ""},
        DownloadCase{"RedirectsUpToTheLimit", Server::kPlain, "/chain/3", {.max_redirects = 3}, F::kNone, 200, "chain end\n"},
        DownloadCase{"OneRedirectPastTheLimit", Server::kPlain, "/chain/4", {.max_redirects = 3}, F::kTooManyRedirects, 302, ""},
        DownloadCase{"RedirectOnce", Server::kPlain, "/redirect-once", kDefault, F::kNone, 200, "etag body\n"},
        DownloadCase{"PastTotal", Server::kPlain, "/slow-total", kSmallTotal, F::kTooLong, 200, ""},
        DownloadCase{"Cancelled", Server::kPlain, "/gzip", kDefault, F::kCancelled, 200, ""},
        DownloadCase{"ClosedPort", Server::kClosedPort, "/", kDefault, F::kConnect, 0, "", "Failed to connect to 127.0.0.1 port "},
        DownloadCase{"Https", Server::kTls, "/redirect-once", kDefault, F::kNone, 200, "etag body\n"},
        DownloadCase{"HttpsToHttp", Server::kTls, "/to-http", kDefault, F::kInsecureRedirect, 302, ""},
        DownloadCase{"WrongName", Server::kWrongName, "/etag", kDefault, F::kCertificate, 0, "",
                     "SSL: no alternative certificate subject name matches target host name '127.0.0.1'"},
        DownloadCase{"UnknownAuthority", Server::kTlsUnknownCa, "/etag", kDefault, F::kCertificate, 0, "",
                     "SSL certificate problem: unable to get local issuer certificate"}),
    testing::CaseName());

// A file's validators, then the conditional request that each of them makes.
TEST_F(DownloadTest, ValidatorsThenNotModified) {
  DownloadRequest request = Request(Server::kPlain, "/files/list.txt");
  const DownloadResult first = platform_->Download(request, nullptr);
  EXPECT_EQ(first.body, kList);
  EXPECT_EQ(first.content_type, "text/plain");
  EXPECT_EQ(first.etag, kListEtag);
  EXPECT_EQ(first.last_modified, kListLastModified);
  for (const auto& [etag, last_modified] : {std::pair{kListEtag, ""}, std::pair{"", kListLastModified}}) {
    request.etag = etag;
    request.last_modified = last_modified;
    const DownloadResult again = platform_->Download(request, nullptr);
    EXPECT_EQ(again.outcome, DownloadResult::Outcome::kNotModified);
    EXPECT_EQ(again.http_status, 304);
    EXPECT_EQ(again.body, "");
    EXPECT_EQ(again.content_type, "");
    EXPECT_EQ(again.etag + again.last_modified, "");
  }
}

// A stop asked while the server sends nothing, before its answer or in its body, is heard
// at once (the stall limit is 30 s).
TEST_F(DownloadTest, StopEndsAWaitingDownload) {
  for (const char* path : {"/silent", "/stall"}) {
    const auto start = std::chrono::steady_clock::now();
    const DownloadResult result = platform_->Download(Request(Server::kPlain, path), [&](std::uint64_t) {
      return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200);
    });
    EXPECT_EQ(result.failure, F::kCancelled) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << path;
  }
}

// A body callback that cannot allocate ends its download, not the program.
TEST_F(DownloadTest, MemoryFailureInACallbackEndsTheDownload) {
  DownloadRequest request = Request(Server::kPlain, "/gzip");
  request.body_sink = [](std::string_view) -> bool { throw std::bad_alloc(); };
  const DownloadResult sunk = platform_->Download(request, nullptr);
  request.body_sink = nullptr;
  const DownloadResult heard = platform_->Download(request, [](std::uint64_t) -> bool { throw std::bad_alloc(); });
  for (const DownloadResult* result : {&sunk, &heard}) EXPECT_EQ(result->failure, F::kNoMemory);
}

TEST_F(DownloadTest, SeveralThreadsAtOnce) {
  const DownloadRequest request = Request(Server::kTls, "/gzip");
  std::vector<DownloadResult> results(4);
  std::vector<std::thread> threads;
  for (DownloadResult& result : results) threads.emplace_back([&] { result = platform_->Download(request, nullptr); });
  for (std::thread& thread : threads) thread.join();
  for (const DownloadResult& result : results) EXPECT_EQ(result.body, kGzipBody);
}

}  // namespace
}  // namespace quorvale
