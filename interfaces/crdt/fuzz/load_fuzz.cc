// libFuzzer target for the two loaders of room bytes. Whatever the input, load and load_incremental
// return a value; a document that accepted bytes must save and load again to the same state.
#include <cstdint>
#include <cstdlib>

#include "interfaces/crdt/document.h"

using namespace pelto::crdt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  if (auto doc = Document::load(bytes)) {
    auto saved = doc->save();
    auto again = Document::load(saved);
    if (!again || again->heads() != doc->heads()) std::abort();
  }
  static const Bytes base = [] {
    Document d(ActorId::from_string("fuzz"));
    auto t = *d.put_object(ObjId::root(), "t", ObjType::Text);
    (void)d.splice_text(t, 0, 0, "seed text");
    (void)d.mark(t, 0, 4, "bold", true, Expand::After);
    return d.save();
  }();
  auto target = Document::load(base);
  if (!target) std::abort();
  auto before = target->save();
  if (!target->load_incremental(bytes)) {
    if (target->save() != before) std::abort();  // unchanged on failure
  } else {
    (void)target->text(ObjId::root());
    (void)target->save();
  }
  return 0;
}
