// The three settings dialogs: lines per view page, the ID file used for
// authentication, and the local port of the proxy service. The ID-file
// dialog runs from the command worker (command "A") and does its platform
// work through the operation channel; the others run on the platform thread.
#pragma once

#include <string>
#include <string_view>

#include "engine/thread_handle.h"

namespace favourites {

inline constexpr char kLinesPerPageFormat[] =
    "Views are currently being displayed %d lines at a time. Change this to:";
inline constexpr char kIdFilePrompt[] =
    "Please specify what ID file should be used for authentications.";
inline constexpr char kIdFileFilter[] = "ID Files (*.id)";
inline constexpr char kIdFileNoChange[] = "No changes were applied.";
inline constexpr char kIdFileInvalid[] =
    "Sorry, this is not a valid ID file.  Please provide the full path to a valid ID file.";
inline constexpr char kIdFileRestartQuestion[] =
    "Thank you.  This change will take effect when you restart Corvane. \n\nWould you like to "
    "restart Corvane now?";
inline constexpr char kLocalPortText[] =
    "Corvane's Interceptor Service is using the local WinSock port below.  If you wish to change "
    "it, you must stay above 1024 with a positive short integer.";
inline constexpr char kLocalPortInvalid[] =
    "Sorry, but this is not a valid value. Please provide a positive short integer above 1024.";
inline constexpr char kLocalPortRestart[] =
    "This change will take effect upon restart of Corvane.  Please choose RESTART here AND exit "
    "this browser session to get a new one.";
inline constexpr size_t kIdFilePathLimit = 511;

// A valid ID file: an existing, readable regular file whose name ends ".id"
// (any case).
bool ValidIdFile(const std::string& path);
// A local port entry the dialog accepts: empty, or a port number above 1024
// (up to 65535, the largest port there is).
bool ValidLocalPort(std::string_view entry);

// Dialog 138 for the lines per view page; OK with a positive number sets
// the shared context's linesInView. Platform thread or any thread.
void LinesPerPageDialog(engine::ThreadHandle& handle);
// The ID-file dialog (command "A"); may set restart and stop.
void IdFileDialog(engine::ThreadHandle& handle);
// The local-port dialog; platform thread.
void LocalPortDialog(engine::ThreadHandle& handle);

}  // namespace favourites
