#pragma once
// One framed, non-blocking connection over a Unix stream socket: envelopes in, envelopes out.
// Shared by the participant's client (manager.h) and the broker, so both read the wire the same way.
//
// Reading never blocks: read_available() takes what the socket has (up to a budget), decodes every
// complete frame and returns the envelopes in arrival order. Writing never blocks: queue() encodes
// and appends the frame to an outgoing queue and writes what the socket takes; flush_some() writes
// more when the socket is writable again. The caller waits (poll(2) on fd()) when it wants to.
//
// The first failure (peer closed, an oversize or undecodable frame, a socket error) ends the
// connection: it is kept and returned by every later call. Envelopes that arrived before the
// failure are returned first; the failure comes with the next call.
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/collab/frame.h"
#include "interfaces/collab/messages.h"
#include "interfaces/collab/socket.h"

namespace pelto::collab {

class Connection {
 public:
  // Takes the descriptor and makes it non-blocking.
  static Result<Connection> adopt(UniqueFd fd);

  Connection(Connection&&) = default;
  Connection& operator=(Connection&&) = default;

  // Reads at most `budget` bytes and decodes what is complete. An empty vector means nothing new.
  Result<std::vector<Envelope>> read_available(size_t budget = size_t{32} << 20);

  // Encodes the envelope and queues its frame; a message over the frame limit is refused and not
  // queued (the connection stays usable).
  Result<void> queue(const Envelope& envelope);
  // Queues an already encoded frame; the broker encodes once and shares the frame among receivers.
  Result<void> queue_frame(std::shared_ptr<const Bytes> frame);
  // Writes as much of the queue as the socket takes now.
  Result<void> flush_some();
  // Waits until the queue is written or `timeout_ms` passes (negative: no limit).
  Result<void> flush(int timeout_ms);

  size_t unsent_bytes() const { return unsent_; }
  bool wants_write() const { return unsent_ > 0; }
  int fd() const { return fd_.get(); }
  // The failure that ended the connection, if any.
  const std::optional<Error>& failure() const { return failure_; }

 private:
  explicit Connection(UniqueFd fd) : fd_(std::move(fd)) {}
  std::unexpected<Error> end(Error error);

  UniqueFd fd_;
  FrameReader reader_;
  std::deque<std::shared_ptr<const Bytes>> out_;
  size_t out_offset_ = 0;  // bytes of out_.front() already written
  size_t unsent_ = 0;
  bool peer_closed_ = false;
  std::optional<Error> failure_;
};

}  // namespace pelto::collab
