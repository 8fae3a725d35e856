#pragma once
// Block, comment, change and table ids. An id is "{tag}-{base}.{n}": the tag is 8 hex digits of the
// SHA-256 of the writing actor's hex, the base tells this generator apart from every earlier one of
// the same actor, n counts the ids this generator gave. Ids hold no ":" or "#" (they go into
// resource ids) and are unique across replicas because the actor is part of them.
//
// A generator seeded from a document takes as base the document's change count and pending
// operation count: for one actor that pair grows with every write, so a generator seeded later
// never repeats an id an earlier one wrote. An unseeded generator takes a random base.
//
// A generator may also stage writes: a DocMut over a staging generator collects attribute and mark
// writes and writes them once, coalesced, at DocMut::flush_staged.
#include <cstdint>
#include <string>
#include <string_view>

#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::model {

class IdGen {
 public:
  // The generator of `IdGen::new` (a reserved word in C++): a random base for the actor.
  explicit IdGen(std::string_view actor_hex);
  static IdGen create(std::string_view actor_hex) { return IdGen(actor_hex); }

  std::string mint();

  bool stages_writes() const { return staging_; }
  void set_staging(bool staging) { staging_ = staging; }

 private:
  friend IdGen seeded_id_gen(const crdt::Document& doc, const Model& model);
  IdGen(std::string_view actor_hex, std::string base);
  std::string prefix_;  // "{tag}-{base}."
  uint64_t next_ = 0;
  bool staging_ = false;
};

IdGen seeded_id_gen(const crdt::Document& doc, const Model& model);

}  // namespace pelto::model
