// The built-in @functions, grouped by the file that defines them, and the
// helpers they share. Private to the formula folder: callers go through
// the function table.
#ifndef LEDRA_FORMULA_BUILTINS_H_
#define LEDRA_FORMULA_BUILTINS_H_

#include <string>
#include <vector>

#include "ledra/formula/evaluator.h"
#include "ledra/formula/function_table.h"

namespace ledra {

// Shared messages of the built-ins.
inline constexpr char kNeedText[] = "Incorrect data type for @function: text expected";
inline constexpr char kNeedNumber[] = "Incorrect data type for @function: number expected";
inline constexpr char kNeedTime[] = "Incorrect data type for @function: date-time expected";
inline constexpr char kBadArgument[] = "Invalid argument for @function";
inline constexpr char kValueTooLarge[] = "Value exceeds the size limit of a list";

// A date-time list from a date-time value or text that reads as one; false
// (with *error set) for anything else.
[[nodiscard]] bool BuiltinTimes(const CallFrame& frame, const FormulaValue& value,
                                std::vector<Datetime>* out, FormulaValue* error);
// The first element as a whole number within +-2^40; false otherwise.
[[nodiscard]] bool BuiltinWholeNumber(const FormulaValue& value, int64_t* out);

#define LEDRA_BUILTIN(name) FormulaValue Builtin##name(CallFrame& frame)

// builtins_logic.cc
LEDRA_BUILTIN(True);
LEDRA_BUILTIN(False);
LEDRA_BUILTIN(If);
LEDRA_BUILTIN(Do);
LEDRA_BUILTIN(Return);
LEDRA_BUILTIN(Failure);
LEDRA_BUILTIN(Error);
LEDRA_BUILTIN(IsError);
LEDRA_BUILTIN(IsNumber);
LEDRA_BUILTIN(IsText);
LEDRA_BUILTIN(IsTime);
LEDRA_BUILTIN(Command);

// builtins_text.cc
LEDRA_BUILTIN(Uppercase);
LEDRA_BUILTIN(Lowercase);
LEDRA_BUILTIN(ProperCase);
LEDRA_BUILTIN(Trim);
LEDRA_BUILTIN(Left);
LEDRA_BUILTIN(Right);
LEDRA_BUILTIN(LeftBack);
LEDRA_BUILTIN(RightBack);
LEDRA_BUILTIN(Middle);
LEDRA_BUILTIN(Contains);
LEDRA_BUILTIN(Begins);
LEDRA_BUILTIN(Ends);
LEDRA_BUILTIN(Length);
LEDRA_BUILTIN(Text);
LEDRA_BUILTIN(TextToNumber);
LEDRA_BUILTIN(TextToTime);
LEDRA_BUILTIN(Word);
LEDRA_BUILTIN(ReplaceSubstring);
LEDRA_BUILTIN(NewLine);
LEDRA_BUILTIN(Implode);
LEDRA_BUILTIN(Explode);

// builtins_list.cc
LEDRA_BUILTIN(Elements);
LEDRA_BUILTIN(Subset);
LEDRA_BUILTIN(Member);
LEDRA_BUILTIN(IsMember);
LEDRA_BUILTIN(IsNotMember);
LEDRA_BUILTIN(Replace);
LEDRA_BUILTIN(Unique);
LEDRA_BUILTIN(Sum);
LEDRA_BUILTIN(Max);
LEDRA_BUILTIN(Min);
LEDRA_BUILTIN(Abs);
LEDRA_BUILTIN(Integer);
LEDRA_BUILTIN(Round);
LEDRA_BUILTIN(Modulo);

// builtins_time.cc
LEDRA_BUILTIN(Now);
LEDRA_BUILTIN(Today);
LEDRA_BUILTIN(Yesterday);
LEDRA_BUILTIN(Tomorrow);
LEDRA_BUILTIN(Created);
LEDRA_BUILTIN(Modified);
LEDRA_BUILTIN(Date);
LEDRA_BUILTIN(Time);
LEDRA_BUILTIN(Adjust);
LEDRA_BUILTIN(Year);
LEDRA_BUILTIN(Month);
LEDRA_BUILTIN(Day);
LEDRA_BUILTIN(Hour);
LEDRA_BUILTIN(Minute);
LEDRA_BUILTIN(Second);
LEDRA_BUILTIN(Weekday);

// builtins_document.cc
LEDRA_BUILTIN(UserName);
LEDRA_BUILTIN(IsAvailable);
LEDRA_BUILTIN(IsUnavailable);
LEDRA_BUILTIN(IsNewDoc);
LEDRA_BUILTIN(IsDocBeingEdited);
LEDRA_BUILTIN(IsDocBeingLoaded);
LEDRA_BUILTIN(IsResponseDoc);
LEDRA_BUILTIN(DocumentUniqueID);
LEDRA_BUILTIN(NoteID);
LEDRA_BUILTIN(DbTitle);
LEDRA_BUILTIN(DbName);
LEDRA_BUILTIN(Environment);
LEDRA_BUILTIN(SetEnvironment);

#undef LEDRA_BUILTIN

}  // namespace ledra

#endif  // LEDRA_FORMULA_BUILTINS_H_
