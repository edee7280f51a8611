// The formula hook: compiled formulas of actions, or their text.
#include "ledra/richtext/formula_hook.h"

#include <atomic>

#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

std::atomic<FormulaCompileFn> g_compile{nullptr};
std::atomic<FormulaDecompileFn> g_decompile{nullptr};

}  // namespace

void SetFormulaHooks(FormulaCompileFn compile, FormulaDecompileFn decompile) {
  g_compile.store(compile);
  g_decompile.store(decompile);
}

int StoreFormula(std::string_view text, uint8_t* form, Bytes* bytes) {
  FormulaCompileFn compile = g_compile.load();
  if (compile == nullptr) {
    *form = kFormulaAsText;
    bytes->assign(text.begin(), text.end());
    return kRtOk;
  }
  bytes->clear();
  if (compile(text, bytes) != 0) return kRtFormulaHook;
  *form = kFormulaCompiled;
  return kRtOk;
}

int FormulaText(uint8_t form, ByteSpan bytes, std::string* text) {
  if (form == kFormulaAsText) {
    text->assign(bytes.begin(), bytes.end());
    return kRtOk;
  }
  FormulaDecompileFn decompile = g_decompile.load();
  if (form != kFormulaCompiled || decompile == nullptr) return kRtFormulaHook;
  text->clear();
  return decompile(bytes, text) == 0 ? kRtOk : kRtFormulaHook;
}

}  // namespace ledra::richtext
