// `ledra eval PATH NOTEID FORMULA`: evaluates a formula on a document.
#pragma once

#include <string>
#include <vector>

// Runs the command with its arguments (after "eval"); returns the exit
// status: 0 evaluated, 1 the formula failed or the note cannot be read,
// 2 a usage error.
int EvalCommand(const std::vector<std::string>& args);
