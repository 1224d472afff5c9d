#include "rotate/relay_direction.h"

#include <algorithm>

namespace ph {

void Direction::StartMessage(BodyFramer framer) {
  framer_ = framer;
  passable_ = framer_.Consume(buffer_.View());
  if (ended_) framer_.SourceEnded();
}

void Direction::MovePassableTo(std::string& out) {
  out.append(buffer_.View().substr(0, passable_));
  buffer_.Consume(passable_);
  passable_ = 0;
}

void Direction::MarkSourceEnded() {
  ended_ = true;
  framer_.SourceEnded();
}

bool Direction::ShouldShutSink() {
  if (sink_shut_ || !ended_ || !Drained() || !buffer_.Empty()) return false;
  sink_shut_ = true;
  return true;
}

bool Direction::Splicing(PipePool* pipes) const {
  return pipes != nullptr && buffer_.Empty() && framer_.RawAllowance() > 0;
}

Direction::Outcome Direction::Fill(Endpoint& source, PipePool* pipes, bool& step) {
  Outcome outcome;
  if (ended_ || !source.readable || framer_.Done() || framer_.Failed()) return outcome;
  if (Splicing(pipes) && !pipe_) pipe_ = pipes->Take();
  const bool splicing = Splicing(pipes) && pipe_;
  IoResult result;
  if (splicing) {
    const std::size_t want =
        std::min<uint64_t>(PipePool::kPipeBytes - in_pipe_, framer_.RawAllowance());
    if (want == 0) return outcome;
    result = SpliceSome(source.fd, pipe_->write, want);
    if (result.status == Io::kMoved) {
      in_pipe_ += result.bytes;
      framer_.PassedRaw(result.bytes);
    }
  } else {
    if (buffer_.Full()) return outcome;
    result = buffer_.ReadFrom(source);
    if (result.status == Io::kMoved) {
      passable_ += framer_.Consume(buffer_.View().substr(passable_));
      if (framer_.Failed()) outcome.fault = Fault::kFraming;
    }
  }
  switch (result.status) {
    case Io::kMoved:
      step = true;
      break;
    case Io::kEnd:
      MarkSourceEnded();
      step = true;
      break;
    case Io::kWouldBlock:
      // A splice into a pipe holding bytes may block on the pipe rather than the socket:
      // the flag stays until a read into an empty pipe would block. (A read into the
      // buffer has cleared it already.)
      if (splicing && in_pipe_ == 0) source.readable = false;
      break;
    case Io::kError:
      outcome.fault = Fault::kSource;
      outcome.error = result.error;
      break;
  }
  return outcome;
}

namespace {

// Books what a send of all waiting bytes to the sink did; false when the sink failed. A send
// that took fewer found the sink full.
bool Delivered(const IoResult& result, std::size_t& waiting, Endpoint& sink,
               Direction::Outcome& outcome, bool& step) {
  switch (result.status) {
    case Io::kMoved:
      if (result.bytes < waiting) sink.writable = false;
      waiting -= result.bytes;
      outcome.bytes += result.bytes;
      step = true;
      return true;
    case Io::kWouldBlock:
      sink.writable = false;
      return true;
    default:
      outcome.fault = Direction::Fault::kSink;
      outcome.error = result.error;
      return false;
  }
}

}  // namespace

Direction::Outcome Direction::Pump(Endpoint& source, Endpoint& sink, PipePool* pipes,
                                   std::size_t budget) {
  Outcome outcome;
  while (outcome.bytes < budget) {
    bool step = false;
    // What waits goes first: the buffer's bytes, then (they came later) the pipe's.
    if (passable_ > 0 && sink.writable &&
        !Delivered(buffer_.SendTo(sink, passable_), passable_, sink, outcome, step))
      return outcome;
    if (passable_ == 0 && in_pipe_ > 0 && sink.writable &&
        !Delivered(SpliceSome(pipe_->read, sink.fd, in_pipe_), in_pipe_, sink, outcome, step))
      return outcome;
    const Outcome filled = Fill(source, pipes, step);
    if (filled.fault != Fault::kNone) {
      outcome.fault = filled.fault;
      outcome.error = filled.error;
      return outcome;
    }
    if (!step) break;
    outcome.moved = true;
  }
  return outcome;
}

void Direction::Lighten(PipePool* pipes) {
  buffer_.Release();
  if (pipe_ && in_pipe_ == 0 && pipes != nullptr) {
    pipes->Give(*pipe_);
    pipe_.reset();
  }
}

void Direction::Discard(PipePool* pipes) {
  if (!pipe_) return;
  if (in_pipe_ == 0 && pipes != nullptr) {
    pipes->Give(*pipe_);
  } else {
    PipePool::Close(*pipe_);
  }
  pipe_.reset();
  in_pipe_ = 0;
}

}  // namespace ph
