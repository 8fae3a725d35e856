#pragma once
// What one invocation produced: the resources it made (a `pelto.content` resource names immutable
// content by its hash) and content it reports directly, plus whether it changed the document or
// handed a device operation to the transport.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::actions {

inline constexpr std::string_view kContentKind = "pelto.content";

struct ProducedResource {
  std::string id;
  std::string kind;
  std::string label;
  friend bool operator==(const ProducedResource&, const ProducedResource&) = default;
};

struct Outcome {
  std::vector<ProducedResource> resources;
  std::optional<std::string> content;  // a content hash reported without a resource
  bool changed_document = false;       // the invocation wrote to the document
  bool replicated = false;             // a device operation went to the transport
};

namespace outcome {

// "pelto.content:" followed by the hash (64 lowercase hex digits of its SHA-256).
std::string content_resource_id(std::string_view hash);
ProducedResource content_resource(std::string_view hash, std::string label = "Content");
// The hash when the id names a `pelto.content` resource, else nothing.
std::optional<std::string> content_hash(std::string_view resource_id);

}  // namespace outcome
}  // namespace pelto::actions
