// The installed corvex, started in its program folder as a user starts it,
// with curl as the browser: a live page from a real origin with the
// dashboard, an https page through the tunnel, a stored page from the
// page-replica database, and the 503 page of a server that is down.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "os/process.h"
#include "tests/common/loopback_exchange.h"
#include "tests/common/program_folder.h"
#include "tests/proxy/peers.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peers::HavePrograms({"curl", "openssl"})) GTEST_SKIP() << "curl or openssl missing";
    folder_ = MakeTempFolder("proxy-program");
    ASSERT_FALSE(folder_.empty());
    prog_ = folder_ + "/prog";
    ASSERT_TRUE(InstallProgramFolder(prog_));
  }
  void TearDown() override {
    corvex_.reset();
    std::string command = "rm -rf '" + folder_ + "'";
    (void)std::system(command.c_str());
  }

  // Adds a stored page (a Web Element Replica with its response).
  void StorePage(const std::string& key, const std::string& response) {
    std::string json = "{\"items\": {\"Form\": \"Web Element Replica\", \"KeyURLC\": \"" + key +
                       "\", \"ContentType\": \"text/html\", \"Categories\": \"Test\"}, " +
                       "\"attachments\": [{\"name\": \"content.dat\", \"text\": \"" + response +
                       "\"}]}\n";
    std::ofstream(folder_ + "/load.json") << json;
    std::string command = "cd '" + prog_ + "' && env -u CORVANE_LEDRA_INI ./ledra load " +
                          "data/Replicas.Web/kvwebrs.ldf '" + folder_ + "/load.json' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Starts corvex as scripts/run does, on a port the kernel picks, with
  // the network test answered on loopback.
  void StartCorvex() {
    std::string command = "cd '" + prog_ + "' && exec env -u CORVANE_LEDRA_INI CORVANE_LOCALPORT=0 " +
                          "CORVANE_REGISTRY='" + folder_ + "/registry' " +
                          "CORVANE_NETWORK_TEST_HOST=127.0.0.1 ./corvex";
    corvex_ = std::make_unique<peers::Process>(std::vector<std::string>{"sh", "-c", command});
    for (int i = 0; i < 5 && port_ == 0; ++i) {
      std::string line = corvex_->Line();
      size_t at = line.find(" port ");
      if (Has(line, "listening") && at != std::string::npos)
        port_ = static_cast<uint16_t>(std::atoi(line.c_str() + at + 6));
    }
    ASSERT_NE(port_, 0) << "corvex did not start";
  }

  std::string Curl(const std::string& options_and_url, int* status = nullptr) {
    return peers::Output("curl -s --max-time 20 --proxy http://127.0.0.1:" +
                             std::to_string(port_) + " " + options_and_url,
                         status);
  }

  std::string folder_, prog_;
  std::unique_ptr<peers::Process> corvex_;
  uint16_t port_ = 0;
};

TEST_F(Program, CurlBrowsesThroughTheInstalledCorvex) {
  StorePage("www.example.test/kept.html",
            "HTTP/1.0 200 OK\\r\\nContent-Type: text/html\\r\\n\\r\\n<html><body>Kept "
            "copy</body></html>\\n");
  peers::Origin origin;
  ASSERT_NE(origin.Port(), 0);
  peers::TlsServer tls(folder_);
  ASSERT_NE(tls.Port(), 0);
  StartCorvex();

  // A live page, with the dashboard before its closing tag.
  int status = -1;
  std::string page = Curl("-i " + origin.Url("/page.html"), &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Has(page, "Hello from the origin.")) << page;
  size_t dashboard = page.find("<div id=\"dashboard\"");
  EXPECT_NE(dashboard, std::string::npos) << page;
  EXPECT_LT(dashboard, page.find("</HTML>"));
  // A gzip page arrives decoded, with the dashboard too.
  std::string gzip = Curl(origin.Url("/gzip.html"));
  EXPECT_TRUE(Has(gzip, "Hello from the origin.") && Has(gzip, "<div id=\"dashboard\"")) << gzip;

  // https through the tunnel.
  std::string secure = Curl("-k https://127.0.0.1:" + std::to_string(tls.Port()) + "/", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Has(secure, "Ciphers supported in s_server binary")) << secure;

  // The stored copy (curl cannot write the bracketed host: a plain
  // request).
  std::string kept =
      Exchange(port_,
               "GET http://[wr;Local;Replicas.Web;kvwebrs.ldf]www.example.test/kept.html "
               "HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string stored_head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>";
  EXPECT_EQ(kept.substr(0, stored_head.size()), stored_head);
  EXPECT_TRUE(Has(kept, "Kept copy</body></html>\n<div id=\"dashboard\"")) << kept;

  // A server that is down.
  std::string down = Curl("-i http://127.0.0.1:" + std::to_string(peers::FreePort()) + "/x");
  EXPECT_TRUE(Has(down, "HTTP/1.0 503 Service Unavailable")) << down;
  EXPECT_TRUE(Has(down, "unable to locate a DNS entry for: 127.0.0.1.")) << down;
  // And corvex keeps serving.
  EXPECT_TRUE(Has(Curl(origin.Url("/page.html")), "Hello from the origin."));
}

}  // namespace
