// libFuzzer target for the two loaders of room bytes. Whatever the input, load and load_incremental
// return a value; a document that accepted bytes must save and load again to the same state.
#include <cstdint>
#include <cstdlib>

#include <zstd.h>

#include "interfaces/crdt/document.h"

using namespace pelto::crdt;

// Inputs starting with 0xFF are a raw document body: compressed and framed here, so the fuzzer
// reaches the column decoder instead of stopping at the compressed frame.
static Bytes frame_body(const uint8_t* data, size_t size) {
  Bytes packed(ZSTD_compressBound(size));
  size_t n = ZSTD_compress(packed.data(), packed.size(), data, size, 1);
  if (ZSTD_isError(n)) return {};
  packed.resize(n);
  Bytes out = {'P', 'L', 'T', 'O', 2};
  for (size_t v = n; ; v >>= 7) {
    out.push_back(static_cast<uint8_t>((v & 0x7f) | (v >= 0x80 ? 0x80 : 0)));
    if (v < 0x80) break;
  }
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes framed;
  if (size > 0 && data[0] == 0xFF) framed = frame_body(data + 1, size - 1);
  std::span<const uint8_t> bytes = framed.empty() ? std::span<const uint8_t>(data, size) : std::span<const uint8_t>(framed);
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
