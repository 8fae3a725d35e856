#pragma once
// A fresh temporary directory with a real broker listening on a socket inside it, and the children
// a test starts; everything is stopped and removed when the test ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/room/tests/child.h"

namespace pelto::room::testing {

class BrokerRoom : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pelto-room-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    socket_ = (dir_ / "broker.sock").string();
    // The blob store and the provider configuration stay inside the directory.
    env_ = {"XDG_DATA_HOME=" + (dir_ / "data").string(), "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
            "SPDLOG_LEVEL=info"};
  }
  void TearDown() override {
    children_.clear();
    broker_.reset();
    std::filesystem::remove_all(dir_);
  }

  void start_broker() {
    auto b = Child::start({PELTO_BROKER_BIN, "--socket", socket_}, env_);
    ASSERT_TRUE(b.has_value()) << b.error().display();
    broker_.emplace(std::move(*b));
    ASSERT_TRUE(broker_->wait_for_err("listening for participants")) << broker_->err();
  }

  // A child with the test's environment, kept until the test ends (or clear_children).
  Child& start(const std::vector<std::string>& argv) {
    auto c = Child::start(argv, env_);
    EXPECT_TRUE(c.has_value()) << c.error().display();
    children_.push_back(std::move(*c));
    return children_.back();
  }
  void clear_children() { children_.clear(); }

  std::filesystem::path dir_;
  std::string socket_;
  std::vector<std::string> env_;
  std::optional<Child> broker_;
  std::deque<Child> children_;
};

}  // namespace pelto::room::testing
