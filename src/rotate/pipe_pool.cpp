#include "rotate/pipe_pool.h"

#include <fcntl.h>
#include <unistd.h>

namespace ph {

PipePool::~PipePool() {
  for (const Pipe& pipe : spare_) Close(pipe);
}

std::optional<Pipe> PipePool::Take() {
  if (!spare_.empty()) {
    const Pipe pipe = spare_.back();
    spare_.pop_back();
    return pipe;
  }
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return std::nullopt;
  return Pipe{fds[0], fds[1]};
}

void PipePool::Give(Pipe pipe) {
  if (spare_.size() >= kMostSpare) return Close(pipe);
  spare_.push_back(pipe);
}

void PipePool::Close(Pipe pipe) {
  if (pipe.read >= 0) ::close(pipe.read);
  if (pipe.write >= 0) ::close(pipe.write);
}

}  // namespace ph
