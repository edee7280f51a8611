// The table of @functions.
#include "ledra/formula/function_table.h"

#include <iterator>

#include "ledra/formula/builtins.h"

namespace ledra {
namespace {

constexpr uint8_t kAny = kFunctionAnyArgs;
constexpr uint8_t kEager = kFunctionEager;
constexpr uint8_t kLazy = kFunctionLazy;

const FunctionInfo kFunctions[] = {
    // Logic and control.
    {"@All", 0, 0, kEager, BuiltinTrue},
    {"@True", 0, 0, kEager, BuiltinTrue},
    {"@Yes", 0, 0, kEager, BuiltinTrue},
    {"@Success", 0, 0, kEager, BuiltinTrue},
    {"@False", 0, 0, kEager, BuiltinFalse},
    {"@No", 0, 0, kEager, BuiltinFalse},
    {"@If", 3, kAny, kLazy | kFunctionOddArgs, BuiltinIf},
    {"@Do", 1, kAny, kLazy, BuiltinDo},
    {"@Return", 1, 1, kFunctionTakesErrors, BuiltinReturn},
    {"@Failure", 1, 1, kEager, BuiltinFailure},
    {"@Error", 0, 0, kEager, BuiltinError},
    {"@IsError", 1, 1, kFunctionTakesErrors, BuiltinIsError},
    {"@IsNumber", 1, 1, kEager, BuiltinIsNumber},
    {"@IsText", 1, 1, kEager, BuiltinIsText},
    {"@IsTime", 1, 1, kEager, BuiltinIsTime},
    {"@Command", 1, kAny, kLazy, BuiltinCommand},
    {"@PostedCommand", 1, kAny, kLazy, BuiltinCommand},
    // Text.
    {"@Uppercase", 1, 1, kEager, BuiltinUppercase},
    {"@Lowercase", 1, 1, kEager, BuiltinLowercase},
    {"@ProperCase", 1, 1, kEager, BuiltinProperCase},
    {"@Trim", 1, 1, kEager, BuiltinTrim},
    {"@Left", 2, 2, kEager, BuiltinLeft},
    {"@Right", 2, 2, kEager, BuiltinRight},
    {"@LeftBack", 2, 2, kEager, BuiltinLeftBack},
    {"@RightBack", 2, 2, kEager, BuiltinRightBack},
    {"@Middle", 3, 3, kEager, BuiltinMiddle},
    {"@Contains", 2, 2, kEager, BuiltinContains},
    {"@Begins", 2, 2, kEager, BuiltinBegins},
    {"@Ends", 2, 2, kEager, BuiltinEnds},
    {"@Length", 1, 1, kEager, BuiltinLength},
    {"@Text", 1, 2, kEager, BuiltinText},
    {"@TextToNumber", 1, 1, kEager, BuiltinTextToNumber},
    {"@TextToTime", 1, 1, kEager, BuiltinTextToTime},
    {"@Word", 3, 3, kEager, BuiltinWord},
    {"@ReplaceSubstring", 3, 3, kEager, BuiltinReplaceSubstring},
    {"@NewLine", 0, 0, kEager, BuiltinNewLine},
    {"@Implode", 1, 2, kEager, BuiltinImplode},
    {"@Explode", 1, 4, kEager, BuiltinExplode},
    // Lists and numbers.
    {"@Elements", 1, 1, kEager, BuiltinElements},
    {"@Subset", 2, 2, kEager, BuiltinSubset},
    {"@Member", 2, 2, kEager, BuiltinMember},
    {"@IsMember", 2, 2, kEager, BuiltinIsMember},
    {"@IsNotMember", 2, 2, kEager, BuiltinIsNotMember},
    {"@Replace", 3, 3, kEager, BuiltinReplace},
    {"@Unique", 0, 1, kEager, BuiltinUnique},
    {"@Sum", 1, kAny, kEager, BuiltinSum},
    {"@Max", 1, 2, kEager, BuiltinMax},
    {"@Min", 1, 2, kEager, BuiltinMin},
    {"@Abs", 1, 1, kEager, BuiltinAbs},
    {"@Integer", 1, 1, kEager, BuiltinInteger},
    {"@Round", 1, 2, kEager, BuiltinRound},
    {"@Modulo", 2, 2, kEager, BuiltinModulo},
    // Date-times.
    {"@Now", 0, 0, kEager, BuiltinNow},
    {"@Today", 0, 0, kEager, BuiltinToday},
    {"@Yesterday", 0, 0, kEager, BuiltinYesterday},
    {"@Tomorrow", 0, 0, kEager, BuiltinTomorrow},
    {"@Created", 0, 0, kEager, BuiltinCreated},
    {"@Modified", 0, 0, kEager, BuiltinModified},
    {"@Date", 1, 6, kEager, BuiltinDate},
    {"@Time", 1, 6, kEager, BuiltinTime},
    {"@Adjust", 7, 8, kEager, BuiltinAdjust},
    {"@Year", 1, 1, kEager, BuiltinYear},
    {"@Month", 1, 1, kEager, BuiltinMonth},
    {"@Day", 1, 1, kEager, BuiltinDay},
    {"@Hour", 1, 1, kEager, BuiltinHour},
    {"@Minute", 1, 1, kEager, BuiltinMinute},
    {"@Second", 1, 1, kEager, BuiltinSecond},
    {"@Weekday", 1, 1, kEager, BuiltinWeekday},
    // The document, its database, the user and the environment.
    {"@UserName", 0, 0, kEager, BuiltinUserName},
    {"@V3UserName", 0, 0, kEager, BuiltinUserName},
    {"@IsAvailable", 1, 1, kLazy | kFunctionNameArg, BuiltinIsAvailable},
    {"@IsUnavailable", 1, 1, kLazy | kFunctionNameArg, BuiltinIsUnavailable},
    {"@IsNewDoc", 0, 0, kEager, BuiltinIsNewDoc},
    {"@IsDocBeingEdited", 0, 0, kEager, BuiltinIsDocBeingEdited},
    {"@IsDocBeingLoaded", 0, 0, kEager, BuiltinIsDocBeingLoaded},
    {"@IsResponseDoc", 0, 0, kEager, BuiltinIsResponseDoc},
    {"@DocumentUniqueID", 0, 0, kEager, BuiltinDocumentUniqueID},
    {"@NoteID", 0, 0, kEager, BuiltinNoteID},
    {"@DbTitle", 0, 0, kEager, BuiltinDbTitle},
    {"@DbName", 0, 0, kEager, BuiltinDbName},
    {"@Environment", 1, 2, kEager, BuiltinEnvironment},
    {"@SetEnvironment", 2, 2, kEager, BuiltinSetEnvironment},
};

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool FormulaFindFunction(std::string_view name, uint16_t* index) {
  for (size_t i = 0; i < std::size(kFunctions); ++i) {
    if (SameFolded(name, kFunctions[i].name)) {
      *index = static_cast<uint16_t>(i);
      return true;
    }
  }
  return false;
}

const FunctionInfo& FormulaFunctionAt(uint16_t index) { return kFunctions[index]; }

size_t FormulaFunctionCount() { return std::size(kFunctions); }

}  // namespace ledra
