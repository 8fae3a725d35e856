#include "interfaces/docmodel/schema.h"

#include <algorithm>

#include "interfaces/base/log.h"
#include "interfaces/docmodel/blobstore.h"

namespace pelto::model {

namespace {

std::optional<crdt::ObjId> child(const crdt::Document& doc, const crdt::ObjId& map, std::string_view k,
                                 crdt::ObjType type) {
  auto v = doc.get(map, k);
  if (!v || !v->is_object() || v->object_type != type) return std::nullopt;
  return *v->object();
}

struct BuiltinStyle {
  std::string_view id, name;
  double size;
  bool bold, italic;
};
constexpr BuiltinStyle kBuiltinProps[] = {
    {"body", "Body", 11.0, false, false},         {"heading1", "Heading 1", 24.0, true, false},
    {"heading2", "Heading 2", 18.0, true, false}, {"heading3", "Heading 3", 14.0, true, false},
    {"list", "List", 11.0, false, false},         {"quote", "Quote", 11.0, false, true},
};

Result<void> write_genesis(crdt::Document& doc) {
  PELTO_TRY(auto folio, doc.put_object(crdt::ObjId::root(), kRootKey, crdt::ObjType::Map), "root");
  PELTO_CHECK(doc.put(folio, key::schema, kSchemaVersion), "schema version");
  for (Region r : kRegions) {
    PELTO_TRY(auto region, doc.put_object(folio, region_key(r), crdt::ObjType::Map), "region");
    PELTO_CHECK(doc.put_object(region, key::order, crdt::ObjType::List), "order");
    PELTO_CHECK(doc.put_object(region, key::blocks, crdt::ObjType::Map), "blocks");
  }
  for (auto k : {key::comments, key::changes, key::meta, key::notes, key::bookmarks, key::blobs}) {
    PELTO_CHECK(doc.put_object(folio, k, crdt::ObjType::Map), "container");
  }
  PELTO_CHECK(doc.put_object(folio, key::runs, crdt::ObjType::List), "runs");
  PELTO_TRY(const crdt::ObjId styles_obj, doc.put_object(folio, key::styles, crdt::ObjType::Map), "styles");
  for (const auto& s : kBuiltinProps) {
    PELTO_TRY(auto style, doc.put_object(styles_obj, s.id, crdt::ObjType::Map), "style");
    PELTO_TRY(auto props, doc.put_object(style, key::props, crdt::ObjType::Map), "style props");
    PELTO_CHECK(doc.put(props, "name", std::string(s.name)), "style name");
    PELTO_CHECK(doc.put(props, "size", s.size), "style size");
    if (s.bold) PELTO_CHECK(doc.put(props, "bold", true), "style bold");
    if (s.italic) PELTO_CHECK(doc.put(props, "italic", true), "style italic");
  }
  return {};
}

}  // namespace

bool is_builtin_style(std::string_view style) {
  return std::find(kBuiltinStyles.begin(), kBuiltinStyles.end(), style) != kBuiltinStyles.end();
}

std::string_view region_key(Region region) {
  switch (region) {
    case Region::Body: return "body";
    case Region::Header: return "header";
    case Region::Footer: return "footer";
  }
  return "body";
}

std::string_view region_name(Region region) {
  switch (region) {
    case Region::Body: return "Body";
    case Region::Header: return "Header";
    case Region::Footer: return "Footer";
  }
  return "Body";
}

std::optional<Region> region_from_name(std::string_view name) {
  for (Region r : kRegions)
    if (region_name(r) == name) return r;
  return std::nullopt;
}

Result<Model> open(const crdt::Document& doc, const crdt::ObjId& root) {
  auto v = doc.get(root, kRootKey);
  if (!v) return failf("the document has no \"{}\" key at its root", kRootKey);
  if (!v->is_object() || v->object_type != crdt::ObjType::Map)
    return failf("the document's \"{}\" key at its root is not a map", kRootKey);
  Model m;
  m.folio = *v->object();
  for (Region r : kRegions) {
    auto region = child(doc, m.folio, region_key(r), crdt::ObjType::Map);
    if (!region) continue;
    auto order = child(doc, *region, key::order, crdt::ObjType::List);
    auto blocks = child(doc, *region, key::blocks, crdt::ObjType::Map);
    if (order && blocks) m.regions[static_cast<size_t>(r)] = BlockList{*region, *order, *blocks};
  }
  m.comments = child(doc, m.folio, key::comments, crdt::ObjType::Map);
  m.changes = child(doc, m.folio, key::changes, crdt::ObjType::Map);
  m.styles = child(doc, m.folio, key::styles, crdt::ObjType::Map);
  m.meta = child(doc, m.folio, key::meta, crdt::ObjType::Map);
  m.notes = child(doc, m.folio, key::notes, crdt::ObjType::Map);
  m.bookmarks = child(doc, m.folio, key::bookmarks, crdt::ObjType::Map);
  m.blobs = child(doc, m.folio, key::blobs, crdt::ObjType::Map);
  m.runs = child(doc, m.folio, key::runs, crdt::ObjType::List);
  if (auto absorbed = blobstore::absorb(doc, m); !absorbed) {
    // The document still opens; only this machine's copy of its blobs is behind.
    log::warn("docmodel", "could not copy the document's blobs into the blob store",
              {{"error", absorbed.error().display()}});
  }
  return m;
}

Result<Model> create(crdt::Document& doc) {
  if (doc.get(crdt::ObjId::root(), kRootKey)) return failf("the document already has a \"{}\" key", kRootKey);
  if (doc.pending_ops() > 0) return fail("the document has a pending change; commit it first");
  crdt::ActorId own = doc.actor();
  doc.set_actor(crdt::ActorId::from_string(kGenesisActor));
  auto written = write_genesis(doc);
  if (!written) {
    doc.rollback();
    doc.set_actor(own);
    return fail(std::move(written.error()).context("write the genesis change"));
  }
  doc.commit(crdt::CommitOptions{std::string(kGenesisMessage), int64_t{0}});
  doc.set_actor(own);
  return open(doc);
}

Result<crdt::Document> new_document(crdt::ActorId actor) {
  crdt::Document doc(std::move(actor));
  PELTO_CHECK(create(doc), "create a folio document");
  return doc;
}

}  // namespace pelto::model
