#include "interfaces/collab/codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pelto::collab {
namespace {

RoomId room(uint8_t seed) {
  RoomId r;
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(seed + i);
  return r;
}

Route route(std::optional<std::string> record = std::nullopt) {
  return Route{"so.pelto.word-processor", room(7), std::move(record)};
}

// One body of every kind, with every field set to something other than its default.
std::vector<Body> every_kind() {
  std::vector<CatalogueEntry> entries = {{"3", "so.pelto.photos", "photos.album", "rename", R"({"label":"Rename"})"},
                                         {"", "so.pelto.chat", "", "", "{}"}};
  return {
      Hello{Role::person, "Ada", route("file:/a.md"), Bytes{1, 2, 3}},
      Hello{Role::agent, "Vesk", route(), std::nullopt},
      Join{room(9)},
      DocumentRequest{},
      DocumentWanted{"so.pelto.chat", "chat:1"},
      DocumentWanted{"so.pelto.word-processor", std::nullopt},
      DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::snapshot, Bytes{0, 1, 255}}},
      DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::change, Bytes{9}}},
      DocumentMutationMessage{},
      PresenceAnnounce{"07080900-0a0b-0c0d-0e0f-101112131415"},
      ActionStarted{"inv-1", R"({"action_label":"Agent task"})", "Vesk", "word-processor.document", "Open document"},
      CaretPosition{"Vesk", "b12", 42},
      ActionFinished{"inv-1"},
      CatalogueRequest{},
      CataloguePublish{entries},
      CatalogueReply{entries},
      CatalogueReply{CatalogueRefusal{"not in a room"}},
      ActionRequest{"inv-2", "3", "photos.album", "rename", R"({"name":"x"})", "{}"},
      Admission{"inv-2", std::nullopt},
      Admission{"inv-2", "busy"},
      StatusQuery{"inv-2"},
      ActionStatus{"inv-2", ActionState::completed, R"({"ok":true})", "done"},
      CancelRequest{"inv-2"},
      CancellationQuery{"run-1"},
      CancellationStatus{"run-1", true},
      TaskRun{1, "run-1", "task-1", "Tidy the album", 128, true, R"({"group":null})"},
      TaskRunStatus{"run-1", TaskStatus::cancelled, "Cancelled before planning"},
  };
}

TEST(Codec, EveryKindSurvivesTheWire) {
  std::vector<bool> seen(std::variant_size_v<Body>, false);
  for (const auto& body : every_kind()) {
    seen[body.index()] = true;
    for (const Envelope& e : {Envelope{ToRoom{}, std::nullopt, body},
                              Envelope{route("r"), Sender{"Ada", Role::application, route()}, body}}) {
      auto frame = encode(e);
      ASSERT_TRUE(frame.has_value()) << kind_name(body);
      auto back = decode(*frame);
      ASSERT_TRUE(back.has_value()) << kind_name(body) << ": " << back.error().display();
      EXPECT_EQ(*back, e) << kind_name(body);
    }
  }
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(seen[i]) << "kind " << i << " not covered";
}

Bytes words(std::initializer_list<uint64_t> ws) {
  Bytes out;
  for (uint64_t w : ws)
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return out;
}

TEST(Codec, FramesThatDoNotDecodeAreErrors) {
  Bytes short_room;
  {
    // A join whose room id is 15 bytes: encode a good one and shorten the blob's length in place.
    auto good = encode(Envelope{ToRoom{}, std::nullopt, Join{room(1)}});
    ASSERT_TRUE(good.has_value());
    short_room = *good;
    // The list pointer's element count sits in the upper 29 bits of the pointer's second half;
    // find the byte-list pointer (element size 2) of 16 elements and make it 15.
    bool patched = false;
    for (size_t i = 8; i + 8 <= short_room.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, &short_room[i], 8);
      if ((w & 3) == 1 && ((w >> 32) & 7) == 2 && (w >> 35) == 16) {
        w = (w & ((uint64_t{1} << 35) - 1)) | (uint64_t{15} << 35);
        std::memcpy(&short_room[i], &w, 8);
        patched = true;
      }
    }
    ASSERT_TRUE(patched);
  }
  const std::pair<const char*, Bytes> cases[] = {
      {"root pointer far past the segment", words({0x0000000100000000, 0x0000000100001000})},
      {"segment shorter than its table says", words({0x0000000400000000, 0})},
      {"not a whole number of words", Bytes{0, 0, 0, 0, 1, 0, 0, 0, 0}},
      {"room id of 15 bytes", short_room},
  };
  for (const auto& [name, frame] : cases) {
    auto r = decode(frame);
    EXPECT_FALSE(r.has_value()) << name;
    if (!r) {
      EXPECT_NE(r.error().display().find("does not decode"), std::string::npos) << name << ": " << r.error().display();
    }
  }
}

// Every byte of every kind's frame, flipped in turn: each result decodes or is an error value, and
// whatever decodes encodes again (nothing half-read is kept).
TEST(Codec, CorruptedFramesDecodeOrFailNeverCrash) {
  size_t failed = 0, decoded = 0;
  for (const auto& body : every_kind()) {
    auto frame = encode(Envelope{route("r"), Sender{"Ada", Role::person, route()}, body});
    ASSERT_TRUE(frame.has_value());
    for (size_t i = 0; i < frame->size(); ++i) {
      for (uint8_t flip : {uint8_t{0xff}, uint8_t{0x01}, uint8_t{0x80}}) {
        Bytes bad = *frame;
        bad[i] ^= flip;
        auto r = decode(bad);
        if (!r) {
          ++failed;
          continue;
        }
        ++decoded;
        EXPECT_TRUE(encode(*r).has_value());
      }
    }
  }
  EXPECT_GT(failed, 0u);
  EXPECT_GT(decoded, 0u);
}

TEST(Codec, MessagesOverTheLimitAreNotEncoded) {
  DocumentMutation big{DocumentMutation::Kind::snapshot, Bytes(kMaxFrameBytes, 0)};
  auto r = encode(Envelope{ToRoom{}, std::nullopt, DocumentMutationMessage{big}});
  ASSERT_FALSE(r.has_value());
  EXPECT_NE(r.error().message().find("256 MiB"), std::string::npos);
}

}  // namespace
}  // namespace pelto::collab
