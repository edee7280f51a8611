// Name resolution over the syntax tree. A name refers to a temporary
// variable when an assignment to that name (letter case ignored) stands
// before it in the order of evaluation; at run time a variable whose
// assignment has not run (an @If branch not taken) still reads the item.
#include "ledra/formula/syntax_tree.h"

#include <map>
#include <string>

#include "ledra/formula/formula_document.h"

namespace ledra {
namespace {

bool IsSetEnvironment(const Node& node) {
  return node.kind == NodeKind::kCall && FormulaFoldCase(node.text) == "@setenvironment";
}

class Resolver {
 public:
  void Visit(Node* node) {
    node->assigns = node->kind == NodeKind::kAssign || IsSetEnvironment(*node);
    for (auto& child : node->children) {
      Visit(child.get());
      node->assigns = node->assigns || child->assigns;
    }
    if (node->kind == NodeKind::kName) {
      auto it = slots_.find(FormulaFoldCase(node->text));
      node->slot = it == slots_.end() ? -1 : it->second;
    } else if (node->kind == NodeKind::kAssign) {
      const auto kind = static_cast<AssignKind>(node->op);
      if (kind == AssignKind::kTemporary || kind == AssignKind::kDefault) {
        const std::string key = FormulaFoldCase(node->text);
        auto it = slots_.find(key);
        if (it == slots_.end()) it = slots_.emplace(key, static_cast<int>(slots_.size())).first;
        node->slot = it->second;
      }
    }
  }

  int count() const { return static_cast<int>(slots_.size()); }

 private:
  std::map<std::string, int> slots_;
};

}  // namespace

void ResolveNames(Program* program) {
  Resolver resolver;
  program->has_select = false;
  for (auto& statement : program->statements) {
    resolver.Visit(statement.get());
    if (statement->kind == NodeKind::kSelect) program->has_select = true;
  }
  program->slot_count = resolver.count();
}

}  // namespace ledra
