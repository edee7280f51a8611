// What the headless desktop's message boxes, dialogs and file choosers
// share: one lock for everything shown, the answer script, the trace.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace os {

// The three kinds of script line: a plain answer ("Yes"), a "dialog:" line
// and a "file:" line; each kind answers only its own subjects.
enum class AnswerKind { kQuestion, kDialog, kFile };

namespace desktop_internal {

// One thing is shown at a time: a question on the terminal must not be
// interleaved with another thread's.
std::unique_lock<std::mutex> Lock();

// The rest is called under Lock().
// True when CORVANE_ANSWERS names a script (read on first use).
bool ScriptNamed();
// Takes the first unused line of the kind whose prefix (if any) begins
// `subject`; the line's answer, without its "dialog:"/"file:" word, lands in
// *answer. False when no line applies (nothing is written).
bool TakeScriptLine(AnswerKind kind, std::string_view subject, std::string* answer);
// Writes a line to standard error and to the desktop trace.
void Show(std::string_view line);

}  // namespace desktop_internal
}  // namespace os
