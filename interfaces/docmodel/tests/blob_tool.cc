// Loads a saved folio document, opens it (which fills this machine's blob store) and says whether
// the blob store now holds the given hash: "present {size}" or "missing". Used by the blob tests to
// show that another process's store is filled by loading.
#include <fstream>
#include <iostream>
#include <iterator>

#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/blobstore.h"
#include "interfaces/docmodel/schema.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: docmodel-blob-tool <saved document> <hash>\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  pelto::crdt::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto doc = pelto::crdt::Document::load(bytes);
  if (!doc) {
    std::cerr << "Error: " << doc.error().display() << "\n";
    return 1;
  }
  auto model = pelto::model::open(*doc);
  if (!model) {
    std::cerr << "Error: " << model.error().display() << "\n";
    return 1;
  }
  auto blob = pelto::blobstore::get(argv[2]);
  if (blob)
    std::cout << "present " << blob->size() << "\n";
  else
    std::cout << "missing\n";
  return 0;
}
