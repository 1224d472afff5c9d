#include "rotate/relay_direction.h"

#include <algorithm>

namespace ph {

void Direction::StartMessage(BodyFramer framer) {
  framer_ = framer;
  passable_ = framer_.Consume(buffer_.View());
  if (ended_) framer_.SourceEnded();
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
  if (Splicing(pipes) && pipe_) {
    const std::size_t want =
        std::min<uint64_t>(PipePool::kPipeBytes - in_pipe_, framer_.RawAllowance());
    if (want == 0) return outcome;
    const IoResult result = SpliceSome(source.fd, pipe_->write, want);
    switch (result.status) {
      case Io::kMoved:
        in_pipe_ += result.bytes;
        framer_.PassedRaw(result.bytes);
        step = true;
        break;
      case Io::kEnd:
        MarkSourceEnded();
        step = true;
        break;
      case Io::kWouldBlock:
        // With bytes in the pipe this may mean the pipe is full rather than the socket
        // empty: the flag stays until a read into an empty pipe would block.
        if (in_pipe_ == 0) source.readable = false;
        break;
      case Io::kError:
        outcome.fault = Fault::kSource;
        outcome.error = result.error;
        break;
    }
    return outcome;
  }
  if (buffer_.Full()) return outcome;
  const IoResult result = buffer_.ReadFrom(source.fd);
  switch (result.status) {
    case Io::kMoved: {
      passable_ += framer_.Consume(buffer_.View().substr(passable_));
      if (framer_.Failed()) outcome.fault = Fault::kFraming;
      step = true;
      break;
    }
    case Io::kEnd:
      MarkSourceEnded();
      step = true;
      break;
    case Io::kWouldBlock:
      source.readable = false;
      break;
    case Io::kError:
      outcome.fault = Fault::kSource;
      outcome.error = result.error;
      break;
  }
  return outcome;
}

Direction::Outcome Direction::Pump(Endpoint& source, Endpoint& sink, PipePool* pipes,
                                   std::size_t budget) {
  Outcome outcome;
  while (outcome.bytes < budget) {
    bool step = false;
    if (passable_ > 0 && sink.writable) {
      const IoResult result = buffer_.SendTo(sink.fd, passable_);
      if (result.status == Io::kMoved) {
        passable_ -= result.bytes;
        outcome.bytes += result.bytes;
        step = true;
      } else if (result.status == Io::kWouldBlock) {
        sink.writable = false;
      } else {
        outcome.fault = Fault::kSink;
        outcome.error = result.error;
        return outcome;
      }
    }
    if (passable_ == 0 && in_pipe_ > 0 && sink.writable) {
      const IoResult result = SpliceSome(pipe_->read, sink.fd, in_pipe_);
      if (result.status == Io::kMoved) {
        in_pipe_ -= result.bytes;
        outcome.bytes += result.bytes;
        step = true;
      } else if (result.status == Io::kWouldBlock) {
        sink.writable = false;
      } else {
        outcome.fault = Fault::kSink;
        outcome.error = result.error;
        return outcome;
      }
    }
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
