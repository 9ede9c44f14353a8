#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvale::testing {

// tests/support/http_test_server.py started with `options` by python3 from PATH. It ends when
// its standard input closes; the destructor closes it, and kills and reaps the server too.
class TestServer {
 public:
  explicit TestServer(const std::vector<std::string>& options);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // The ports it printed (none when it did not start): the first, then --http-port-too's.
  const std::vector<int>& ports() const { return ports_; }

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::vector<int> ports_;
};

// The server's --make-certs: a throwaway CA (ca.pem) and the certificates it signs for
// 127.0.0.1 and localhost (server.pem, server.key) and wrong.invalid (wrong.pem, wrong.key).
bool MakeTestCertificates(const std::string& folder);

}  // namespace quorvale::testing
