// The small calls: content hashes, invocation ids, provider rooms, operation types, text inputs,
// the registry.
#include <set>

#include <gtest/gtest.h>

#include "interfaces/actions/invocation.h"
#include "interfaces/actions/outcome.h"
#include "interfaces/actions/registry.h"
#include "interfaces/actions/remote.h"
#include "interfaces/actions/resource.h"

namespace pelto::actions {
namespace {

TEST(ContentHash, OnlyContentResourcesWithAHash) {
  const std::string hash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  struct Case {
    std::string id;
    std::optional<std::string> want;
  };
  const Case cases[] = {
      {"pelto.content:" + hash, hash},
      {outcome::content_resource_id(hash), hash},
      {"pelto.content:", std::nullopt},
      {"pelto.content:" + hash.substr(1), std::nullopt},
      {"pelto.content:" + std::string(64, 'A'), std::nullopt},
      {"pelto.contents:" + hash, std::nullopt},
      {"photos.photo:" + hash, std::nullopt},
      {hash, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(outcome::content_hash(c.id), c.want) << c.id;
}

TEST(Invocation, FreshVersionFourIds) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    auto id = InvocationId::new_();
    const std::string& s = id.to_string();
    ASSERT_EQ(s.size(), 36u);
    EXPECT_EQ(s[14], '4') << s;                                  // version
    EXPECT_NE(std::string("89ab").find(s[19]), std::string::npos) << s;  // variant
    EXPECT_EQ(InvocationId::parse(s), id);
    seen.insert(s);
  }
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_EQ(InvocationId::parse("not-a-uuid"), std::nullopt);
  EXPECT_EQ(InvocationId::parse("6F9619FF-8B86-D011-B42D-00C04FC964FF")->to_string(),
            "6f9619ff-8b86-d011-b42d-00c04fc964ff");
}

TEST(Remote, WorkspaceProviderRoom) {
  EXPECT_TRUE(remote::workspace_provider_room("workspace"));
  EXPECT_TRUE(remote::workspace_provider_room("Workspace"));
  for (const char* other : {"", "workspaces", " workspace", "work", "7", "room"}) {
    EXPECT_FALSE(remote::workspace_provider_room(other)) << other;
  }
  EXPECT_EQ(ActionHostError::no_answer().display(), "the action host did not answer");
  EXPECT_EQ(ActionHostError::refused("busy").display(), "busy");
}

TEST(OperationType, EnforcedAgainstTheDeclaration) {
  auto ok = resource::enforce_operation_type("chat.action", nlohmann::json{{"DeleteChannel", {{"id", "c"}}}});
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->operation_type, "chat.action");
  EXPECT_TRUE(ok->is_document_action());
  EXPECT_FALSE(ok->is_device_operation());

  auto mismatch = resource::enforce_operation_type("chat.operation", EncodedAction{"chat.action", "X"});
  ASSERT_FALSE(mismatch);
  EXPECT_EQ(mismatch.error().display(), "the action is declared as `chat.operation` but encoded `chat.action`");
  for (const char* bad : {"", ".action", "chat", "chat.actions"}) {
    EXPECT_FALSE(resource::enforce_operation_type(bad, nlohmann::json("X"))) << bad;
  }
}

TEST(TextInput, DerivedParameter) {
  auto path = resource::derive_input({"File path", "", "/var/workspace/report.pdf", true});
  EXPECT_EQ(path.name, "file_path");
  EXPECT_EQ(path.type, ParamType::Text);
  EXPECT_TRUE(path.required);
  EXPECT_EQ(path.description, "File path, for example /var/workspace/report.pdf");
  ASSERT_TRUE(path.constraints);
  EXPECT_EQ((*path.constraints)["examples"][0], "/var/workspace/report.pdf");

  auto message = resource::derive_input({"Message", "type a message…", "", false});
  EXPECT_EQ(message.name, "message");
  EXPECT_FALSE(message.required);
  EXPECT_EQ(message.description, "Message (type a message…)");
  EXPECT_FALSE(message.constraints);
}

TEST(TextInput, EncoderGetsTheTrimmedTextOrNothing) {
  std::string got = "unset";
  ActionSpec spec = ActionSpec("post", "Post message").with_text_input({"Message", "type…", "", false},
                                                                       [&](std::string_view text) -> Encoded {
                                                                         got = std::string(text);
                                                                         return EncodedAction{"chat.action", "X"};
                                                                       });
  ASSERT_EQ(spec.parameters.size(), 1u);
  ASSERT_TRUE((*spec.encoder)(ActionArgs::single_text("message", "  hi  ")));
  EXPECT_EQ(got, "hi");
  ASSERT_TRUE((*spec.encoder)(ActionArgs::single_text("message", "\u00a0hi\u3000")));  // Unicode spaces too
  EXPECT_EQ(got, "hi");
  ASSERT_TRUE((*spec.encoder)(ActionArgs()));
  EXPECT_EQ(got, "");
}

TEST(Registry, OneExecutorPerDocumentActionType) {
  ActionRegistry registry = ActionRegistry::new_();
  auto noop = [](crdt::Document&, const ExecutionRequest&) -> Result<ExecutorAnswer> { return ExecutorAnswer::done(); };
  EXPECT_TRUE(registry.add("chat.action", noop));
  EXPECT_FALSE(registry.add("chat.action", noop));
  EXPECT_FALSE(registry.add("chat.operation", noop));
  EXPECT_FALSE(registry.add(".action", noop));
  EXPECT_FALSE(registry.add("photos.action", Executor{}));
  EXPECT_TRUE(registry.add("photos.action", noop));
  EXPECT_NE(registry.find("chat.action"), nullptr);
  EXPECT_EQ(registry.find("word-processor.action"), nullptr);
  EXPECT_EQ(registry.operation_types(), (std::vector<std::string>{"chat.action", "photos.action"}));
}

}  // namespace
}  // namespace pelto::actions
