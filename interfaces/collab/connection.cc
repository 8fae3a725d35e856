#include "interfaces/collab/connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "interfaces/collab/codec.h"

namespace pelto::collab {

namespace {
constexpr size_t kReadChunk = size_t{64} << 10;
}

Result<Connection> Connection::adopt(UniqueFd fd) {
  if (!fd.valid()) return fail("no socket to use");
  PELTO_CHECK(set_nonblocking(fd.get()), "prepare the room connection");
  return Connection(std::move(fd));
}

std::unexpected<Error> Connection::end(Error error) {
  if (!failure_) failure_ = std::move(error);
  return fail(*failure_);
}

Result<std::vector<Envelope>> Connection::read_available(size_t budget) {
  if (failure_) return fail(*failure_);
  std::vector<Envelope> out;
  size_t taken = 0;
  while (!peer_closed_ && taken < budget) {
    auto room = reader_.prepare(kReadChunk);
    ssize_t n = ::recv(fd_.get(), room.data(), room.size(), MSG_DONTWAIT);
    if (n > 0) {
      reader_.commit(static_cast<size_t>(n));
      taken += static_cast<size_t>(n);
      continue;
    }
    if (n == 0 || (n < 0 && errno == ECONNRESET)) {  // a reset is a close with our data unread
      peer_closed_ = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    // Keep what already arrived; the socket error comes after it.
    failure_ = Error(fmt::format("read from the room: {}", std::strerror(errno)));
    break;
  }
  while (true) {
    auto frame = reader_.next();
    if (!frame) {
      if (out.empty()) return end(std::move(frame.error()));
      failure_ = std::move(frame.error());
      return out;
    }
    if (!*frame) break;
    auto envelope = decode(**frame);
    if (!envelope) {
      if (out.empty()) return end(std::move(envelope.error()));
      failure_ = std::move(envelope.error());
      return out;
    }
    out.push_back(std::move(*envelope));
  }
  if (peer_closed_ && !failure_) {
    Error closed(reader_.buffered() > 0 ? "the peer closed the connection in the middle of a message"
                                        : "the peer closed the connection");
    if (out.empty()) return end(std::move(closed));
    failure_ = std::move(closed);
  }
  if (out.empty() && failure_) return fail(*failure_);
  return out;
}

Result<void> Connection::queue(const Envelope& envelope) {
  if (failure_) return fail(*failure_);
  PELTO_TRY(auto frame, encode(envelope), fmt::format("send a {} message", kind_name(envelope.body)));
  return queue_frame(std::make_shared<const Bytes>(std::move(frame)));
}

Result<void> Connection::queue_frame(std::shared_ptr<const Bytes> frame) {
  if (failure_) return fail(*failure_);
  unsent_ += frame->size();
  out_.push_back(std::move(frame));
  return flush_some();
}

Result<void> Connection::flush_some() {
  if (failure_) return fail(*failure_);
  while (!out_.empty()) {
    const Bytes& front = *out_.front();
    ssize_t n = ::send(fd_.get(), front.data() + out_offset_, front.size() - out_offset_,
                       MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
      return end(Error(fmt::format("write to the room: {}", std::strerror(errno))));
    }
    out_offset_ += static_cast<size_t>(n);
    unsent_ -= static_cast<size_t>(n);
    if (out_offset_ == front.size()) {
      out_.pop_front();
      out_offset_ = 0;
    }
  }
  return {};
}

Result<void> Connection::flush(int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  while (true) {
    PELTO_CHECK(flush_some(), "flush the room connection");
    if (out_.empty()) return {};
    int wait = -1;
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return failf("{} bytes still unsent after {} ms", unsent_, timeout_ms);
      wait = static_cast<int>(left);
    }
    pollfd p{fd_.get(), POLLOUT, 0};
    int rc = ::poll(&p, 1, wait);
    if (rc < 0 && errno != EINTR) return end(Error(fmt::format("wait to write: {}", std::strerror(errno))));
  }
}

}  // namespace pelto::collab
