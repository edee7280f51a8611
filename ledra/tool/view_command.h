// `ledra view PATH VIEW [--from POSITION] [--count N] [--search QUERY]`.
#pragma once

#include <string>
#include <vector>

// args: the arguments after "view". Returns the exit status.
int ViewCommand(const std::vector<std::string>& args);
