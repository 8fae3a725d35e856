#include "apps/word_processor/tables.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace pelto::word_processor {
namespace {

void add_cell(Table& t, const model::Block& b) {
  TableCell c{b.id, b.attr_int("row").value_or(-1), b.attr_int("col").value_or(-1)};
  if (c.row >= 0) t.rows = std::max<uint64_t>(t.rows, static_cast<uint64_t>(c.row) + 1);
  if (c.col >= 0) t.cols = std::max<uint64_t>(t.cols, static_cast<uint64_t>(c.col) + 1);
  t.cells.push_back(std::move(c));
}

}  // namespace

std::vector<Table> body_tables(const model::Snapshot& snapshot) {
  std::vector<Table> out;
  std::map<std::string, size_t, std::less<>> index;
  for (const auto& b : snapshot.body().blocks) {
    if (b.kind != "cell") continue;
    auto id = b.attr_str("table");
    if (!id || id->empty()) continue;
    auto [it, fresh] = index.try_emplace(*id, out.size());
    if (fresh) out.push_back(Table{*id, {}, 0, 0});
    add_cell(out[it->second], b);
  }
  return out;
}

Table table_cells(const model::Snapshot& snapshot, std::string_view table) {
  Table t{std::string(table), {}, 0, 0};
  for (const auto& b : snapshot.body().blocks)
    if (b.kind == "cell" && b.attr_str("table") == table) add_cell(t, b);
  return t;
}

std::optional<Table> table_grid(const model::Snapshot& snapshot, std::string_view table) {
  Table t = table_cells(snapshot, table);
  if (t.cells.empty()) return std::nullopt;
  std::set<std::pair<int64_t, int64_t>> seen;
  for (const auto& c : t.cells)
    if (c.row < 0 || c.col < 0 || !seen.emplace(c.row, c.col).second) return std::nullopt;
  // Distinct places inside rows x cols, as many as the grid has: every place is filled.
  if (t.cells.size() != t.rows * t.cols) return std::nullopt;
  return t;
}

}  // namespace pelto::word_processor
