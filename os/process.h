// Processes: starting a program with arguments, with or without waiting for
// its exit code, asking whether a process still runs, and finding running
// processes by program name (the browser watch looks for the browser).
//
// A started program gets the caller's environment, working folder and
// standard input, output and error, and nothing else: every other file
// descriptor (listening sockets, databases, locks) is closed in the child
// however it was opened, and SIGPIPE is back at its default action.
#ifndef CORVANE_OS_PROCESS_H_
#define CORVANE_OS_PROCESS_H_

#include <string>
#include <string_view>
#include <vector>

namespace os {

enum class ProcessStatus {
  kOk = 0,
  kNotFound,     // the program does not exist (or is not on PATH)
  kStartFailed,  // it exists but could not be started (permissions, resources)
  kBadArgument,  // empty program name, or a NUL byte in the program or an argument
  kTimedOut,     // the program outlived the time-out and was killed
  kWaitFailed,   // the end of the program could not be learned
};

// The text for a status, for trace lines and messages.
const char* ProcessStatusText(ProcessStatus status);

// Waits without limit in ProcessRun.
inline constexpr int kProcessNoTimeout = -1;

// Starts program with arguments (not counting the program name, which the
// program receives first) and returns at once. A program name without '/'
// is looked up on PATH. The process is reaped in the background when it
// ends, so it leaves no zombie; its exit code is not reported. On kOk *pid
// is the new process's id; on failure *pid is left unchanged.
[[nodiscard]] ProcessStatus ProcessStart(const std::string& program,
                                         const std::vector<std::string>& arguments, int* pid);

// Starts program as ProcessStart does and waits for it to end. On kOk
// *exit_code is its exit status, or 128 + the signal number when a signal
// ended it. With timeout_ms >= 0 a program still running after that many
// milliseconds is killed (SIGKILL), reaped, and kTimedOut returned.
[[nodiscard]] ProcessStatus ProcessRun(const std::string& program,
                                       const std::vector<std::string>& arguments, int timeout_ms,
                                       int* exit_code);

// True while the process exists and has not ended (a zombie has ended).
bool ProcessIsRunning(int pid);

// The ids of running processes whose program name is name: the last part of
// the path of their executable or of their first argument, or, for names
// the kernel shortens to 15 bytes, their command name. Ended processes and
// processes that vanish during the scan are left out.
std::vector<int> ProcessFindByName(std::string_view name);

}  // namespace os

#endif  // CORVANE_OS_PROCESS_H_
