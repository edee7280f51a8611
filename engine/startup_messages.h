// What corvex tells the person who starts it, on the terminal: where to
// point the browser, and, when it cannot start, why and what to do. Also
// the port file, corvex.port in the program folder, through which a second
// start learns the running one's port.
#pragma once

#include <string>

namespace engine {

inline constexpr char kPortFile[] = "corvex.port";

// The folder a program folder is expected in: the folder of the running
// program file when it holds a program folder (htmdata/ beside it), else
// empty.
std::string ExpectedProgramFolder();

// Started in `folder`, which is no program folder.
std::string NotInProgramFolderText(const std::string& folder, const std::string& expected);

// A second start in `folder`; `port` is the running one's (-1 unknown),
// `url` the URL handed over (empty: none).
std::string AlreadyRunningText(const std::string& folder, int port, const std::string& url);

// The listener could not be set up; `in_use` when another program holds
// the port.
std::string ListenFailedText(const std::string& address, unsigned port, bool in_use);
// Whether something else listens on the port now.
bool PortInUse(const std::string& address, unsigned port);

// The lines printed once corvex listens.
std::string BannerText(const std::string& address, unsigned port, bool classic_urls);

// The port file: written once corvex listens, removed when it stops.
void WritePortFile(const std::string& folder, unsigned port);
void RemovePortFile(const std::string& folder);
int ReadPortFile(const std::string& folder);

}  // namespace engine
