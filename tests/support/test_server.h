#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvale::testing {

// tests/support/http_test_server.py, started with `options` on 127.0.0.1 by python3 from
// PATH. The server ends when its standard input closes; the destructor closes it, then kills
// and reaps the server all the same.
class TestServer {
 public:
  explicit TestServer(const std::vector<std::string>& options);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // "" when the server runs, else why it does not.
  const std::string& failure() const { return failure_; }
  // The ports it printed: the first, then the plain HTTP one of --http-port-too.
  const std::vector<int>& ports() const { return ports_; }
  // "<scheme>://127.0.0.1:<ports()[index]><path>"
  std::string Url(const std::string& scheme, const std::string& path, size_t index = 0) const;

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::vector<int> ports_;
  std::string failure_;
};

// Makes a throwaway certificate authority and two server certificates signed by it in
// `folder` (the server's --make-certs): ca.pem; server.pem and server.key for 127.0.0.1 and
// localhost; wrong.pem and wrong.key for wrong.invalid. False when openssl failed.
bool MakeTestCertificates(const std::string& folder);

}  // namespace quorvale::testing
