// The corvex program as a process: started from its folder, serving on a
// kernel-chosen port, stopped by SIGTERM with a clean exit.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "os/files.h"
#include "os/socket.h"

namespace {

struct Process {
  pid_t pid = -1;
  int out = -1;
  std::string err_path;
};

class Corvex : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-corvex-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    for (const char* sub : {"/wtemp", "/htmdata"}) {
      os::ClearFolder(folder_ + sub);
      os::RemoveFolder(folder_ + sub);
    }
    os::ClearFolder(folder_);
    os::RemoveFolder(folder_);
  }
  Process Start(const std::string& port, bool with_program = true) {
    if (with_program) {
      EXPECT_EQ(symlink(CORVANE_BIN_DIR "/corvex", (folder_ + "/corvex").c_str()), 0);
    }
    Process run;
    run.err_path = folder_ + "/stderr.txt";
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    run.pid = fork();
    if (run.pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      int err = open(run.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      close(out[0]);
      if (chdir(folder_.c_str()) != 0) _exit(127);
      setenv("CORVANE_LOCALPORT", port.c_str(), 1);
      execl(CORVANE_BIN_DIR "/corvex", "corvex", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    run.out = out[0];
    return run;
  }
  static std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  static std::string ReadAll(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
      char buffer[4096];
      size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
      std::fclose(f);
    }
    return text;
  }
  static int Wait(const Process& run) {
    int status = 0;
    waitpid(run.pid, &status, 0);
    close(run.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  static std::string Exchange(uint16_t port, const std::string& request) {
    os::Socket s = os::ConnectLoopback(port);
    if (s == os::kNoSocket) return "<no connection>";
    std::string reply;
    if (os::SendAll(s, request)) {
      (void)os::SetReceiveTimeout(s, 20000);
      char buffer[4096];
      long got;
      while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
    }
    os::Close(s);
    return reply;
  }
  std::string folder_;
};

TEST_F(Corvex, ServesOnLoopbackAndStopsCleanlyOnSigterm) {
  Process run = Start("0");
  std::string line = ReadLine(run.out);
  ASSERT_EQ(line.rfind("corvex listening on 127.0.0.1 port ", 0), 0u) << line;
  auto port = static_cast<uint16_t>(std::atoi(line.c_str() + line.rfind(' ') + 1));
  EXPECT_TRUE(os::FolderExists(folder_ + "/wtemp"));
  EXPECT_EQ(Exchange(port, "GET http://[kv]/Local:/ HTTP/1.0\r\n\r\n"),
            "<html><DT><H2>Ledra Error:</H2><DT><DT>Could not perform requested action.<DT>");
  EXPECT_EQ(Exchange(port, "GET http://Corvane.Command/N/ HTTP/1.0\r\n\r\n"),
            "HTTP/1.1 204 No Content\n\n\n");
  kill(run.pid, SIGTERM);
  EXPECT_EQ(ReadLine(run.out), "corvex stopped");
  EXPECT_EQ(Wait(run), 0);
  std::string err = ReadAll(run.err_path);
  EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
  EXPECT_EQ(err.find("still running"), std::string::npos) << err;
  EXPECT_FALSE(os::FolderExists(folder_ + "/wtemp"));  // swept and removed
}

TEST_F(Corvex, RefusesToRunOutsideItsFolder) {
  Process run = Start("0", /*with_program=*/false);
  EXPECT_EQ(ReadLine(run.out), "");
  EXPECT_EQ(Wait(run), 0);
  EXPECT_EQ(ReadAll(run.err_path), "Corvane must be run from its program directory. Exiting.\n");
}

TEST_F(Corvex, PortInUseEndsWithAClearError) {
  os::Socket taken = os::CreateStreamSocket();
  ASSERT_TRUE(os::Bind(taken, "127.0.0.1", 0));
  ASSERT_TRUE(os::Listen(taken, 1));
  Process run = Start(std::to_string(os::LocalPort(taken)));
  EXPECT_EQ(ReadLine(run.out), "corvex stopped");
  EXPECT_EQ(Wait(run), 1);
  EXPECT_NE(ReadAll(run.err_path).find("could not listen on 127.0.0.1 port"), std::string::npos);
  os::Close(taken);
  Process bad = Start("99999", /*with_program=*/false);  // the link is there already
  EXPECT_EQ(Wait(bad), 2);
  EXPECT_NE(ReadAll(bad.err_path).find("CORVANE_LOCALPORT must be a port number"),
            std::string::npos);
}

}  // namespace
