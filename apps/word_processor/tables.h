#pragma once
// Tables of the body as the word processor sees them: body blocks of kind "cell" that share a
// "table" attribute, each placed by its "row" and "col" attributes. Read from a snapshot only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/docmodel/read.h"

namespace pelto::word_processor {

struct TableCell {
  std::string block;
  int64_t row = -1;  // -1 when the attribute is missing or not an integer
  int64_t col = -1;
};

struct Table {
  std::string id;
  std::vector<TableCell> cells;  // document order
  uint64_t rows = 0;             // one more than the greatest row (0 without rows)
  uint64_t cols = 0;
};

// Every table of the body, in the order of its first cell.
std::vector<Table> body_tables(const model::Snapshot& snapshot);
// The cells of one table (possibly none).
Table table_cells(const model::Snapshot& snapshot, std::string_view table);
// The table when it holds cells that form a full grid: every (row, col) below (rows, cols) exactly once.
std::optional<Table> table_grid(const model::Snapshot& snapshot, std::string_view table);

}  // namespace pelto::word_processor
