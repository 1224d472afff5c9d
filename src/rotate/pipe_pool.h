#pragma once

#include <optional>
#include <vector>

namespace ph {

// A kernel pipe that spliced bytes wait in between two sockets.
struct Pipe {
  int read = -1;
  int write = -1;
};

// The pipes of one relay thread: a direction borrows one while bytes wait in it and gives it
// back empty, so idle connections hold no pipe. Relay thread only.
class PipePool {
 public:
  PipePool() = default;
  ~PipePool();
  PipePool(const PipePool&) = delete;
  PipePool& operator=(const PipePool&) = delete;

  // A spare pipe or a new one; nullopt when none can be made (out of descriptors).
  std::optional<Pipe> Take();
  // An empty pipe back.
  void Give(Pipe pipe);
  // A pipe that may hold bytes: closed.
  static void Close(Pipe pipe);

  // How many bytes a direction lets wait in its pipe: the same bound as its buffer.
  static constexpr std::size_t kPipeBytes = 64 * 1024;
  static constexpr std::size_t kMostSpare = 64;

 private:
  std::vector<Pipe> spare_;
};

}  // namespace ph
