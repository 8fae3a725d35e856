#include "tools/room/served.h"

#include <fmt/format.h>

#include "interfaces/base/utf8.h"
#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/ids.h"
#include "interfaces/docmodel/markdown.h"
#include "interfaces/docmodel/mutate.h"

namespace pelto::room {

Result<RoomDocument> RoomDocument::seeded(std::string_view markdown, crdt::ActorId actor) {
  PELTO_TRY(auto doc, model::new_document(std::move(actor)), "create the document");
  PELTO_TRY(auto model, model::open(doc), "open the new document");
  auto ids = model::seeded_id_gen(doc, model);
  model::DocMut mut(doc, model, ids);
  PELTO_TRY([[maybe_unused]] auto imported, model::FormatProvider::import(markdown, mut), "import the markdown");
  history::commit_stamped_with_message(doc, "seeded from markdown");
  // What was seeded goes out as snapshots; changes sent later start after it.
  doc.discard_pending_incremental();
  return RoomDocument(std::move(doc), std::move(model));
}

Result<RoomDocument> RoomDocument::from_snapshot(std::span<const uint8_t> bytes, crdt::ActorId actor) {
  PELTO_TRY(auto doc, crdt::Document::load(bytes), "load the snapshot");
  PELTO_TRY(auto model, model::open(doc), "read the snapshot as a word-processor document");
  doc.set_actor(std::move(actor));
  doc.discard_pending_incremental();
  return RoomDocument(std::move(doc), std::move(model));
}

void RoomDocument::reopen() {
  if (auto model = model::open(doc_)) model_ = std::move(*model);
}

Result<bool> RoomDocument::merge_snapshot(std::span<const uint8_t> bytes) {
  PELTO_TRY(auto other, crdt::Document::load(bytes), "load the snapshot");
  PELTO_TRY([[maybe_unused]] auto schema, model::open(other), "read the snapshot as a word-processor document");
  PELTO_TRY(auto report, doc_.merge(other), "merge the snapshot");
  if (report.changed()) reopen();
  return report.changed();
}

Result<bool> RoomDocument::apply_change(std::span<const uint8_t> bytes) {
  PELTO_TRY(auto report, doc_.load_incremental(bytes), "load the change");
  if (report.changed()) reopen();
  return report.changed();
}

Result<std::vector<crdt::Bytes>> RoomDocument::append_paragraph(std::string_view text, bool per_character) {
  if (text.empty()) return fail("the paragraph's text is empty");
  if (!utf8::is_valid(text)) return fail("the paragraph's text is not valid UTF-8");
  // Only the changes made here go out.
  doc_.discard_pending_incremental();
  auto ids = model::seeded_id_gen(doc_, model_);
  model::DocMut mut(doc_, model_, ids);
  auto order = model::blocks_in_order(doc_, model_);
  std::optional<std::string_view> after;
  if (!order.empty()) after = order.back();

  std::vector<crdt::Bytes> changes;
  auto undo = [&](Error e) {
    doc_.rollback();
    return fail(std::move(e));
  };
  auto block = mut.insert_block(after, "paragraph");
  if (!block) return undo(std::move(block.error()).context("add the paragraph"));
  if (per_character) {
    size_t at = 0;
    for (char32_t c : utf8::decode(text)) {
      std::string one;
      utf8::append(one, c);
      if (auto r = mut.splice_text(*block, at++, 0, one); !r) return undo(std::move(r.error()).context("type"));
      history::commit_stamped(doc_);
      changes.push_back(doc_.save_incremental());
    }
  } else {
    if (auto r = mut.splice_text(*block, 0, 0, text); !r) return undo(std::move(r.error()).context("type"));
    history::commit_stamped(doc_);
    changes.push_back(doc_.save_incremental());
  }
  reopen();
  return changes;
}

std::vector<BlockLine> RoomDocument::blocks() const {
  std::vector<BlockLine> lines;
  for (auto& b : model::materialize_region(doc_, model_, model::Region::Body).blocks)
    lines.push_back(BlockLine{std::move(b.kind), std::move(b.text)});
  return lines;
}

namespace {
std::string one_line(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}
}  // namespace

std::string render_blocks(const std::vector<BlockLine>& blocks) {
  std::string out = fmt::format("document: {} block{}\n", blocks.size(), blocks.size() == 1 ? "" : "s");
  for (const auto& b : blocks) out += fmt::format("{}: {}\n", one_line(b.kind), one_line(b.text));
  return out;
}

}  // namespace pelto::room
