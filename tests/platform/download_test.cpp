// Platform::Download through libcurl against tests/support/http_test_server.py on loopback,
// plain and over TLS with a certificate authority made for the run.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdint>
#include <memory>
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

using testing::TempDir;
using testing::TestServer;
using Outcome = DownloadResult::Outcome;

constexpr char kList[] = "ads.example\ntracker.example\n";
constexpr char kListEtag[] = "\"5b432994f0ae44452c604aa5a066268826bc6ea267d5bac688c2f3ddd5eac062\"";
constexpr time_t kListTime = 1700000000;
constexpr char kListLastModified[] = "Tue, 14 Nov 2023 22:13:20 GMT";

// A loopback port that nothing listens on: one the system just gave and took back.
int ClosedPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

enum class Server { kPlain, kTls, kWrongName, kClosedPort };

struct DownloadCase {
  const char* name;
  Server server;
  const char* path;
  DownloadLimits limits;
  bool trust_test_ca;  // the request's ca_file is the run's CA
  bool cancel;         // the progress callback asks to stop
  Outcome outcome;
  DownloadFailure failure;
  int http_status;
  std::string body;
  const char* detail_start;  // nullptr: no detail
};
void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }

// Each test program starts only the servers its cases use: a server starts in about 0.2 s.
class DownloadTest : public ::testing::TestWithParam<DownloadCase> {
 public:
  static void SetUpTestSuite() {
    // Loopback is reached directly, whatever proxies the machine has.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
      unsetenv(name);
    }
    folder_ = std::make_unique<TempDir>();
  }
  static void TearDownTestSuite() {
    for (std::unique_ptr<TestServer>* server : {&plain_, &tls_, &wrong_name_}) server->reset();
    folder_.reset();
  }

 protected:
  static std::string Url(Server server, const std::string& path) {
    switch (server) {
      case Server::kPlain: return Started(plain_, {"--root", Files(), "--gzip"}).Url("http", path);
      case Server::kTls: return Started(tls_, {"--tls", Cert("server.pem"), Cert("server.key"), "--http-port-too"}).Url("https", path);
      case Server::kWrongName: return Started(wrong_name_, {"--tls", Cert("wrong.pem"), Cert("wrong.key")}).Url("https", path);
      case Server::kClosedPort: break;
    }
    return "http://127.0.0.1:" + std::to_string(ClosedPort()) + path;
  }
  static DownloadRequest Request(Server server, const std::string& path, bool trust_test_ca = true) {
    DownloadRequest request;
    request.url = Url(server, path);
    if (trust_test_ca) request.ca_file = Cert("ca.pem");
    return request;
  }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();

 private:
  static TestServer& Started(std::unique_ptr<TestServer>& server, const std::vector<std::string>& options) {
    if (!server) server = std::make_unique<TestServer>(options);
    EXPECT_EQ(server->failure(), "");
    return *server;
  }
  static std::string Cert(const char* name) {
    const bool made = access(folder_->File("ca.pem").c_str(), R_OK) == 0 || testing::MakeTestCertificates(folder_->path());
    EXPECT_TRUE(made);
    return folder_->File(name);
  }
  static std::string Files() {
    const std::string files = folder_->File("files");
    mkdir(files.c_str(), 0700);
    testing::WriteBytes(files + "/list.txt", kList);
    const utimbuf times = {kListTime, kListTime};
    utime((files + "/list.txt").c_str(), &times);
    return files;
  }

  static inline std::unique_ptr<TempDir> folder_;
  static inline std::unique_ptr<TestServer> plain_, tls_, wrong_name_;
};

TEST_P(DownloadTest, EndsAsExpected) {
  const DownloadCase& c = GetParam();
  DownloadRequest request = Request(c.server, c.path, c.trust_test_ca);
  request.limits = c.limits;
  std::vector<std::uint64_t> heard;
  const DownloadResult result = platform_->Download(request, [&](std::uint64_t bytes) {
    heard.push_back(bytes);
    return !c.cancel;
  });
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_EQ(result.failure, c.failure);
  EXPECT_EQ(result.http_status, c.http_status);
  EXPECT_EQ(result.body, c.body);
  if (c.detail_start == nullptr) {
    EXPECT_EQ(result.detail, "");
  } else {
    EXPECT_EQ(result.detail.substr(0, std::string(c.detail_start).size()), c.detail_start) << result.detail;
  }
  if (c.outcome == Outcome::kDownloaded) {
    EXPECT_EQ(heard.empty() ? 0 : heard.back(), c.body.size());
  }
}

constexpr DownloadLimits kDefault;
constexpr DownloadLimits kSmallStall{.stall_milliseconds = 300};
constexpr DownloadLimits kSmallTotal{.stall_milliseconds = 300, .total_milliseconds = 600};
constexpr DownloadLimits kThreeRedirects{.max_redirects = 3};
constexpr DownloadLimits kSmallBody{.max_bytes = 100'000};
const std::string kGzipBody = [] {
  std::string body;
  for (int i = 0; i < 100; ++i) body += "gzip body\n";
  return body;
}();
constexpr auto kOk = Outcome::kDownloaded;
constexpr auto kFailed = Outcome::kFailed;
using F = DownloadFailure;

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadTest,
    ::testing::Values(
        DownloadCase{"NotFound", Server::kPlain, "/404", kDefault, false, false, kFailed, F::kHttpStatus, 404, "", nullptr},
        DownloadCase{"ServerError", Server::kPlain, "/500", kDefault, false, false, kFailed, F::kHttpStatus, 500, "", nullptr},
        DownloadCase{"Stalled", Server::kPlain, "/drip", kSmallStall, false, false, kFailed, F::kStalled, 200, "", nullptr},
        DownloadCase{"Truncated", Server::kPlain, "/short", kDefault, false, false, kFailed, F::kTruncated, 200, "",
                     "transfer closed with 90 bytes remaining to read"},
        DownloadCase{"Gzip", Server::kPlain, "/gzip", kDefault, false, false, kOk, F::kNone, 200, kGzipBody, nullptr},
        DownloadCase{"Bomb", Server::kPlain, "/bomb", kSmallBody, false, false, kFailed, F::kTooBig, 200, "", nullptr},
        DownloadCase{"Loop", Server::kPlain, "/loop", kThreeRedirects, false, false, kFailed, F::kTooManyRedirects, 302, "",
                     nullptr},
        DownloadCase{"RedirectOnce", Server::kPlain, "/redirect-once", kDefault, false, false, kOk, F::kNone, 200,
                     "etag body\n", nullptr},
        DownloadCase{"PastTotal", Server::kPlain, "/slow-total", kSmallTotal, false, false, kFailed, F::kTooLong, 200, "",
                     nullptr},
        DownloadCase{"Cancelled", Server::kPlain, "/gzip", kDefault, false, true, kFailed, F::kCancelled, 200, "", nullptr},
        DownloadCase{"ClosedPort", Server::kClosedPort, "/", kDefault, false, false, kFailed, F::kConnect, 0, "",
                     "Failed to connect to 127.0.0.1 port "},
        DownloadCase{"Https", Server::kTls, "/redirect-once", kDefault, true, false, kOk, F::kNone, 200, "etag body\n",
                     nullptr},
        DownloadCase{"HttpsToHttp", Server::kTls, "/to-http", kDefault, true, false, kFailed, F::kInsecureRedirect, 302, "",
                     nullptr},
        DownloadCase{"WrongName", Server::kWrongName, "/etag", kDefault, true, false, kFailed, F::kCertificate, 0, "",
                     "SSL: no alternative certificate subject name matches target host name '127.0.0.1'"},
        DownloadCase{"UnknownAuthority", Server::kTls, "/etag", kDefault, false, false, kFailed, F::kCertificate, 0, "",
                     "SSL certificate problem: unable to get local issuer certificate"}),
    testing::CaseName());

// A file's validators, then the conditional requests that each of them makes.
TEST_F(DownloadTest, ValidatorsThenNotModified) {
  const DownloadResult first = platform_->Download(Request(Server::kPlain, "/files/list.txt"), nullptr);
  EXPECT_EQ(first.outcome, Outcome::kDownloaded);
  EXPECT_EQ(first.body, kList);
  EXPECT_EQ(first.etag, kListEtag);
  EXPECT_EQ(first.last_modified, kListLastModified);

  DownloadRequest by_etag = Request(Server::kPlain, "/files/list.txt");
  by_etag.etag = kListEtag;
  DownloadRequest by_date = Request(Server::kPlain, "/files/list.txt");
  by_date.last_modified = kListLastModified;
  for (const DownloadRequest& request : {by_etag, by_date}) {
    const DownloadResult again = platform_->Download(request, nullptr);
    EXPECT_EQ(again.outcome, Outcome::kNotModified);
    EXPECT_EQ(again.http_status, 304);
    EXPECT_EQ(again.body, "");
    EXPECT_EQ(again.etag, kListEtag);
    EXPECT_EQ(again.last_modified, kListLastModified);
  }
}

TEST_F(DownloadTest, SeveralThreadsAtOnce) {
  const DownloadRequest request = Request(Server::kTls, "/gzip");
  std::vector<DownloadResult> results(4);
  std::vector<std::thread> threads;
  for (DownloadResult& result : results) {
    threads.emplace_back([&] { result = platform_->Download(request, nullptr); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const DownloadResult& result : results) EXPECT_EQ(result.body, kGzipBody);
}

}  // namespace
}  // namespace quorvale
