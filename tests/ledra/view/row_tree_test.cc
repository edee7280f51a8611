// The row tree against a plain model (each row's children in a sorted
// vector): random inserts and removals at several depths, then every way of
// walking and addressing rows must agree with the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ledra/view/row_tree.h"

namespace {

using ledra::kNoRow;
using ledra::RowTree;

struct ModelRow {
  std::string key;
  VXNoteId note = 0;
  std::vector<uint32_t> children;  // in key order, equal keys by note
};

class Model {
 public:
  explicit Model(RowTree* tree) : tree_(tree) { rows_[RowTree::kRoot]; }

  uint32_t Insert(uint32_t parent, VXNoteId note, const std::string& key) {
    uint32_t r = tree_->Insert(parent, note, key);
    rows_[r] = ModelRow{key, note, {}};
    auto& kids = rows_[parent].children;
    auto at = std::find_if(kids.begin(), kids.end(), [&](uint32_t c) {
      const ModelRow& m = rows_[c];
      return m.key != key ? m.key > key : m.note > note;
    });
    kids.insert(at, r);
    parent_[r] = parent;
    return r;
  }

  void Remove(uint32_t r) {
    tree_->Remove(r);
    auto& kids = rows_[parent_[r]].children;
    kids.erase(std::find(kids.begin(), kids.end(), r));
    std::vector<uint32_t> stack{r};
    while (!stack.empty()) {
      uint32_t x = stack.back();
      stack.pop_back();
      for (uint32_t c : rows_[x].children) stack.push_back(c);
      rows_.erase(x);
      parent_.erase(x);
    }
  }

  // Live rows other than the root.
  std::vector<uint32_t> Rows() const {
    std::vector<uint32_t> out;
    for (const auto& [r, m] : rows_)
      if (r != RowTree::kRoot) out.push_back(r);
    return out;
  }

  // Every row in view order, with its dotted position.
  void Walk(uint32_t r, const std::string& prefix,
            std::vector<std::pair<uint32_t, std::string>>* out) const {
    const auto& kids = rows_.at(r).children;
    for (size_t i = 0; i < kids.size(); ++i) {
      std::string position = prefix + std::to_string(i + 1);
      out->emplace_back(kids[i], position);
      Walk(kids[i], position + ".", out);
    }
  }

  void Check() const {
    std::vector<std::pair<uint32_t, std::string>> order;
    Walk(RowTree::kRoot, "", &order);
    ASSERT_EQ(tree_->live_rows(), order.size());
    // Next and Previous walk the whole view both ways.
    uint32_t r = RowTree::kRoot;
    for (const auto& [expected, position] : order) {
      r = tree_->Next(r);
      ASSERT_EQ(r, expected) << position;
      ASSERT_EQ(tree_->Position(r), position);
      ASSERT_EQ(tree_->AtPosition(position), r);
      ASSERT_EQ(tree_->Key(r), rows_.at(r).key);
    }
    ASSERT_EQ(tree_->Next(r), kNoRow);
    ASSERT_EQ(tree_->Last(), order.empty() ? kNoRow : order.back().first);
    for (size_t i = order.size(); i-- > 1;)
      ASSERT_EQ(tree_->Previous(order[i].first), order[i - 1].first);
    // Children by count, place, index and sibling links.
    for (const auto& [row, m] : rows_) {
      ASSERT_EQ(tree_->ChildCount(row), m.children.size());
      ASSERT_EQ(tree_->Children(row), m.children);
      for (size_t i = 0; i < m.children.size(); ++i) {
        uint32_t c = m.children[i];
        ASSERT_EQ(tree_->ChildAt(row, static_cast<uint32_t>(i)), c);
        ASSERT_EQ(tree_->Slot(c), i);
        ASSERT_EQ(tree_->row(c).parent, row);
        ASSERT_EQ(tree_->PreviousSibling(c), i == 0 ? kNoRow : m.children[i - 1]);
      }
      ASSERT_EQ(tree_->ChildAt(row, static_cast<uint32_t>(m.children.size())), kNoRow);
    }
  }

  bool Has(uint32_t r) const { return rows_.count(r) != 0; }

 private:
  RowTree* tree_;
  std::map<uint32_t, ModelRow> rows_;
  std::map<uint32_t, uint32_t> parent_;
};

TEST(RowTree, AgreesWithASortedModelThroughInsertsAndRemovals) {
  RowTree tree;
  Model model(&tree);
  std::mt19937 random(20240611);
  // Few distinct keys, so that equal keys are ordered by note id; long
  // ones, so that removals leave dead key bytes to reclaim.
  auto key = [&] {
    return std::string(1, static_cast<char>('a' + random() % 6)) + std::string(200, 'k');
  };
  VXNoteId note = 1;
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 1500; ++i) {
      std::vector<uint32_t> rows = model.Rows();
      // Mostly top-level rows, some below rows already there.
      uint32_t parent =
          rows.empty() || random() % 4 != 0 ? RowTree::kRoot : rows[random() % rows.size()];
      model.Insert(parent, note++, key());
    }
    model.Check();
    if (HasFatalFailure()) return;
    std::vector<uint32_t> rows = model.Rows();
    std::shuffle(rows.begin(), rows.end(), random);
    // Remove about a third of the rows; a removed row takes its subtree.
    for (size_t i = 0; i < rows.size() / 3; ++i) {
      if (model.Has(rows[i])) model.Remove(rows[i]);
    }
    model.Check();
    if (HasFatalFailure()) return;
  }
}

TEST(RowTree, KeySearchAndAppendKeepOrder) {
  RowTree tree;
  static const struct {
    const char* key;
    VXNoteId note;
  } rows[] = {{"b", 5}, {"a", 9}, {"b", 2}, {"c", 1}, {"", 7}};
  for (const auto& r : rows) tree.Insert(RowTree::kRoot, r.note, r.key);
  std::vector<VXNoteId> notes;
  for (uint32_t r : tree.Children(RowTree::kRoot)) notes.push_back(tree.row(r).note);
  EXPECT_EQ(notes, (std::vector<VXNoteId>{7, 9, 2, 5, 1}));
  EXPECT_EQ(tree.row(tree.LowerBound(RowTree::kRoot, "b")).note, 2u);
  EXPECT_EQ(tree.row(tree.LowerBound(RowTree::kRoot, "bb")).note, 1u);
  EXPECT_EQ(tree.LowerBound(RowTree::kRoot, "d"), kNoRow);
  EXPECT_EQ(tree.FindChild(RowTree::kRoot, "bb"), kNoRow);
  EXPECT_EQ(tree.row(tree.FindChild(RowTree::kRoot, "c")).note, 1u);
  // Append puts a row last whatever its key; its own key may come from the
  // tree's key bytes.
  uint32_t first = tree.FirstChild(RowTree::kRoot);
  uint32_t appended = tree.Append(RowTree::kRoot, 3, tree.Key(tree.LastChild(RowTree::kRoot)));
  EXPECT_EQ(tree.LastChild(RowTree::kRoot), appended);
  EXPECT_EQ(tree.Key(appended), "c");
  EXPECT_EQ(tree.Slot(appended), 5u);
  // Rows of one note are chained; removing a row unchains it.
  uint32_t below = tree.Insert(first, 9, "x");
  EXPECT_EQ(tree.RowsOf(9).size(), 2u);
  EXPECT_EQ(tree.Descendants(RowTree::kRoot), 7u);
  tree.Remove(first);
  EXPECT_EQ(tree.RowsOf(9).size(), 1u);
  EXPECT_EQ(tree.FirstRowOf(7), kNoRow);
  EXPECT_EQ(tree.live_rows(), 5u);
  tree.Remove(below);  // already gone with its parent: nothing happens
  EXPECT_EQ(tree.live_rows(), 5u);
}

}  // namespace
