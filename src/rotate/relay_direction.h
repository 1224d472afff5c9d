#pragma once

#include "rotate/body_framer.h"
#include "rotate/byte_buffer.h"
#include "rotate/pipe_pool.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ph {

// One direction of a relay: bytes read from one end wait in a fixed-size buffer, or in a
// borrowed pipe when spliced, until the other end takes them. While they wait nothing more
// is read, so a slow reader holds back a fast writer instead of filling memory. Only the
// bytes of the current message move on (framer); what follows it waits for the next.
class Direction {
 public:
  enum class Fault : uint8_t { kNone, kSource, kSink, kFraming };
  struct Outcome {
    uint64_t bytes = 0;  // delivered to the sink
    bool moved = false;  // anything read, delivered or ended
    Fault fault = Fault::kNone;
    int error = 0;
  };

  // The next message's framing; the bytes already buffered count towards it.
  void StartMessage(BodyFramer framer);
  // Moves what it can, at most about budget bytes; pipes null: no splicing.
  Outcome Pump(Endpoint& source, Endpoint& sink, PipePool* pipes, std::size_t budget);

  bool MessageDone() const { return framer_.Done(); }
  bool FramingFailed() const { return framer_.Failed(); }
  // Nothing of the current message waits to be delivered.
  bool Drained() const { return passable_ == 0 && in_pipe_ == 0; }
  bool SourceEnded() const { return ended_; }
  void MarkSourceEnded();
  // The sink's writing side was shut after the source ended; true the first time.
  bool ShouldShutSink();

  ByteBuffer& Buffer() { return buffer_; }
  // Moves the buffered bytes that may go on to the end of out, so that they leave with what
  // out holds in one write.
  void MovePassableTo(std::string& out);
  // Idle: the buffer's memory and the pipe go back.
  void Lighten(PipePool* pipes);
  // The connection ends: the pipe is closed or given back.
  void Discard(PipePool* pipes);

 private:
  bool Splicing(PipePool* pipes) const;
  Outcome Fill(Endpoint& source, PipePool* pipes, bool& step);

  ByteBuffer buffer_;
  std::size_t passable_ = 0;  // bytes at the front of buffer_ that may go on
  BodyFramer framer_;
  std::optional<Pipe> pipe_;
  std::size_t in_pipe_ = 0;
  bool ended_ = false;
  bool sink_shut_ = false;
};

}  // namespace ph
