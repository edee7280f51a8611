// The corvex program as a process, on a program folder made by the install
// step: serving on a kernel-chosen port, the single instance and URL
// hand-over, Restart, close requests, SIGTERM shutdown, a missing
// configuration database, a start outside the folder.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "os/files.h"
#include "os/process.h"
#include "os/socket.h"
#include "tests/common/loopback_exchange.h"
#include "tests/common/program_folder.h"

namespace {

struct Process {
  pid_t pid = -1;
  int out = -1;
  std::string err_path;
};

class Corvex : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("corvex");
    ASSERT_FALSE(folder_.empty());
    ASSERT_TRUE(InstallProgramFolder(folder_ + "/prog"));
    prog_ = folder_ + "/prog";
    registry_ = folder_ + "/registry";
  }
  void TearDown() override {
    std::string command = "rm -rf '" + folder_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  // Starts corvex in the program folder with the arguments; stderr goes to
  // a file of its own.
  Process Start(std::vector<std::string> args = {}, const std::string& answers = "") {
    Process run;
    run.err_path = folder_ + "/stderr" + std::to_string(++started_) + ".txt";
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    std::string answers_path = folder_ + "/answers" + std::to_string(started_);
    if (!answers.empty()) {
      std::FILE* f = std::fopen(answers_path.c_str(), "w");
      std::fputs(answers.c_str(), f);
      std::fclose(f);
    }
    run.pid = fork();
    if (run.pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      int err = open(run.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      int null_in = open("/dev/null", O_RDONLY);
      dup2(null_in, STDIN_FILENO);
      close(out[0]);
      if (chdir(prog_.c_str()) != 0) _exit(127);
      setenv("CORVANE_LOCALPORT", "0", 1);
      setenv("CORVANE_REGISTRY", registry_.c_str(), 1);
      setenv("CORVANE_NETWORK_TEST_HOST", "127.0.0.1", 1);
      if (!answers.empty()) setenv("CORVANE_ANSWERS", answers_path.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>("corvex")};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv((prog_ + "/corvex").c_str(), argv.data());
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
  // Waits (up to 20 s) until the file holds text.
  static bool WaitForText(const std::string& path, const std::string& text) {
    for (int i = 0; i < 400; ++i) {
      if (ReadAll(path).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  static int Wait(const Process& run) {
    int status = 0;
    waitpid(run.pid, &status, 0);
    close(run.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  static uint16_t PortOf(const std::string& line) {
    return static_cast<uint16_t>(std::atoi(line.c_str() + line.rfind(' ') + 1));
  }
  std::string Ini() { return ReadAll(prog_ + "/ledra.ini"); }

  std::string folder_, prog_, registry_;
  int started_ = 0;
};

TEST_F(Corvex, ServesAndShutsDownOnSigtermWithinEightSeconds) {
  Process run = Start();
  std::string line = ReadLine(run.out);
  ASSERT_EQ(line.rfind("corvex listening on 127.0.0.1 port ", 0), 0u) << ReadAll(run.err_path);
  uint16_t port = PortOf(line);
  EXPECT_NE(ReadLine(run.out).find("port " + std::to_string(port)), std::string::npos);
  EXPECT_NE(ReadLine(run.out).find("chromium --proxy-server=127.0.0.1:" + std::to_string(port)),
            std::string::npos);
  EXPECT_EQ(ReadAll(prog_ + "/corvex.port"), std::to_string(port) + "\n");
  EXPECT_TRUE(os::FolderExists(prog_ + "/wtemp"));
  EXPECT_EQ(ReadAll(prog_ + "/htmdata/wbstatus.dat"), "Replicator ready, idle.");
  EXPECT_NE(Ini().find("$Corvane_Running=TRUE"), std::string::npos);
  // The on-line switch asks first; unanswered, nothing changes and the
  // browser goes back to where it came from.
  EXPECT_EQ(Exchange(port,
                     "GET http://Corvane.Command/N/ HTTP/1.0\r\nReferer: http://[wc]/\r\n\r\n"),
            "HTTP/1.0 302 Temporarily Moved\r\nLocation: http://[wc]/#dashboard\r\n\r\n");

  auto asked = std::chrono::steady_clock::now();
  kill(run.pid, SIGTERM);
  EXPECT_EQ(ReadLine(run.out), "corvex stopped");
  EXPECT_EQ(Wait(run), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(8));
  std::string err = ReadAll(run.err_path);
  EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
  EXPECT_EQ(err.find("still running"), std::string::npos) << err;  // every worker ended
  EXPECT_FALSE(os::FolderExists(prog_ + "/wtemp"));
  EXPECT_FALSE(os::FileExists(prog_ + "/corvex.port"));
  EXPECT_EQ(Ini().find("$Corvane_Running"), std::string::npos) << Ini();
  // Regression: the lock files stayed behind.
  EXPECT_FALSE(os::FileExists(prog_ + "/corvex.lck"));
  EXPECT_FALSE(os::FileExists(prog_ + "/ledra.ini.lock"));
}

TEST_F(Corvex, ASecondStartHandsItsUrlOverAndEnds) {
  // The running program's browser watch takes each hand-over at once
  // (tracing it), so what the second start wrote is seen in its trace.
  setenv("CORVANE_TRACE", "1", 1);
  setenv("CORVANE_WATCH_SETTLE_MS", "0", 1);
  setenv("CORVANE_WATCH_TICK_MS", "100", 1);
  Process first = Start();
  unsetenv("CORVANE_TRACE");
  unsetenv("CORVANE_WATCH_SETTLE_MS");
  unsetenv("CORVANE_WATCH_TICK_MS");
  std::string banner = ReadLine(first.out);
  ASSERT_EQ(banner.rfind("corvex listening", 0), 0u);
  std::string port = std::to_string(PortOf(banner));
  struct {
    std::vector<std::string> args;
    const char* handed_over;
  } cases[] = {
      {{"URL=\"http://example.org/a b\""}, "http://example.org/a b"},
      {{"url=http://example.org/plain"}, "http://example.org/plain"},
      {{"http://example.org/bare"}, "http://example.org/bare"},
      // Regression: the quotes were handed over with the URL.
      {{"\"http://example.org/quoted\""}, "http://example.org/quoted"},
  };
  for (auto& c : cases) {
    Process second = Start(c.args);
    // No window, no listener: it says where the running one is and that
    // it got the URL.
    EXPECT_EQ(ReadLine(second.out),
              "corvex is already running in " + prog_ + " on port " + port + ".");
    EXPECT_EQ(ReadLine(second.out).rfind("The URL was handed over to it (kvlaunch.dat): ", 0), 0u);
    EXPECT_EQ(Wait(second), 0);
    EXPECT_TRUE(WaitForText(first.err_path, std::string("Launch request: ") + c.handed_over + "\n"))
        << ReadAll(first.err_path);
  }
  Process plain = Start();
  EXPECT_EQ(ReadLine(plain.out),
            "corvex is already running in " + prog_ + " on port " + port + ".");
  EXPECT_NE(ReadLine(plain.out).find("HTTP proxy to 127.0.0.1 port " + port), std::string::npos);
  EXPECT_EQ(Wait(plain), 0);  // already running
  kill(first.pid, SIGTERM);
  EXPECT_EQ(Wait(first), 0);
  // With none running, a start takes its own URL as its start page.
  Process next = Start({"http://example.org/next"});
  ASSERT_EQ(ReadLine(next.out).rfind("corvex listening", 0), 0u);
  EXPECT_FALSE(os::FileExists(prog_ + "/kvlaunch.dat"));
  kill(next.pid, SIGTERM);
  EXPECT_EQ(Wait(next), 0);
}

TEST_F(Corvex, RestartStartsASecondInstanceThatSaysResetComplete) {
  Process first = Start();
  ASSERT_EQ(ReadLine(first.out).rfind("corvex listening", 0), 0u);
  Process second = Start({"Restart"});
  kill(first.pid, SIGTERM);  // the old instance goes, as a restart does
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(ReadLine(second.out).rfind("corvex listening", 0), 0u);
  EXPECT_TRUE(
      WaitForText(second.err_path, "[Corvane] (information) Reset complete, you may proceed."))
      << ReadAll(second.err_path);
  kill(second.pid, SIGTERM);
  EXPECT_EQ(Wait(second), 0);
}

TEST_F(Corvex, TheFirstCloseRequestOnlyShowsItsMessage) {
  Process run = Start({}, "Shut down=>No\nShut down=>Yes\n");
  ASSERT_EQ(ReadLine(run.out).rfind("corvex listening", 0), 0u);
  kill(run.pid, SIGINT);
  ASSERT_TRUE(WaitForText(run.err_path,
                          "Please shut down all browsers instead. Corvane will "
                          "automatically shutdown afterwards."));
  // About is served after the close request: the program still runs.
  kill(run.pid, SIGUSR1);
  ASSERT_TRUE(WaitForText(run.err_path, "[Help About]"));
  EXPECT_EQ(ReadAll(run.err_path).find("Shut down Corvane"), std::string::npos);
  kill(run.pid, SIGINT);  // asked, answered No: still running
  ASSERT_TRUE(WaitForText(run.err_path, "answered No"));
  kill(run.pid, SIGINT);  // asked, answered Yes: the window is destroyed
  EXPECT_EQ(Wait(run), 0);
  EXPECT_FALSE(os::FolderExists(prog_ + "/wtemp"));
}

TEST_F(Corvex, AMissingConfigurationDatabaseEndsWithItsMessage) {
  ASSERT_EQ(std::remove((prog_ + "/data/kvconfig.ldf").c_str()), 0);
  Process run = Start();
  EXPECT_EQ(ReadLine(run.out), "corvex stopped");
  EXPECT_EQ(Wait(run), 1);  // a start that cannot go on is a failure
  EXPECT_NE(ReadAll(run.err_path).find(
                "[Corvane] (exclamation) Corvane cannot find it's configuration database "
                "(kvconfig.ldf). Cannot continue, exiting.\n\n(check README.TXT for "
                "troubleshooting instructions)"),
            std::string::npos)
      << ReadAll(run.err_path);
  EXPECT_FALSE(os::FolderExists(prog_ + "/wtemp"));
  EXPECT_EQ(Ini().find("$Corvane_Running"), std::string::npos);
  EXPECT_FALSE(os::FileExists(registry_));  // no setting touched
}

TEST_F(Corvex, RefusesToRunOutsideItsFolder) {
  ASSERT_EQ(std::remove((prog_ + "/corvex").c_str()), 0);
  ASSERT_EQ(symlink(CORVANE_BIN_DIR "/corvex", (folder_ + "/elsewhere").c_str()), 0);
  pid_t pid = fork();
  if (pid == 0) {
    int err = open((folder_ + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, STDERR_FILENO);
    if (chdir(prog_.c_str()) != 0) _exit(127);
    execl((folder_ + "/elsewhere").c_str(), "corvex", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(
      ReadAll(folder_ + "/err.txt")
          .rfind(
              "[Corvane] (exclamation) Corvane must be run from its program directory. Exiting.\n"
              "corvex: " +
                  prog_ + " is not a program folder (it has no corvex).",
              0),
      0u)
      << ReadAll(folder_ + "/err.txt");
}

TEST_F(Corvex, AStartFromElsewhereNamesTheProgramFolder) {
  pid_t pid = fork();
  if (pid == 0) {
    int err = open((folder_ + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, STDERR_FILENO);
    if (chdir(folder_.c_str()) != 0) _exit(127);
    execl((prog_ + "/corvex").c_str(), "corvex", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadAll(folder_ + "/err.txt").find("cd '" + prog_ + "' && ./corvex"), std::string::npos)
      << ReadAll(folder_ + "/err.txt");
}

TEST_F(Corvex, PortInUseEndsWithAClearError) {
  os::Socket taken = os::CreateStreamSocket();
  ASSERT_TRUE(os::Bind(taken, "127.0.0.1", 0));
  ASSERT_TRUE(os::Listen(taken, 1));
  Process run;
  {
    // Start with the taken port instead of 0.
    std::string port = std::to_string(os::LocalPort(taken));
    run.err_path = folder_ + "/busy.txt";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    run.pid = fork();
    if (run.pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      int err = open(run.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      if (chdir(prog_.c_str()) != 0) _exit(127);
      setenv("CORVANE_LOCALPORT", port.c_str(), 1);
      setenv("CORVANE_REGISTRY", registry_.c_str(), 1);
      execl((prog_ + "/corvex").c_str(), "corvex", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    run.out = out[0];
  }
  EXPECT_EQ(ReadLine(run.out), "corvex stopped");
  EXPECT_EQ(Wait(run), 1);
  std::string err = ReadAll(run.err_path);
  EXPECT_NE(err.find("corvex: port " + std::to_string(os::LocalPort(taken)) +
                     " on 127.0.0.1 is in use by another program.\nSet CORVANE_LOCALPORT to "
                     "another port"),
            std::string::npos)
      << err;
  os::Close(taken);
}

}  // namespace
