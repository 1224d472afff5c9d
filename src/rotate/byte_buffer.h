#pragma once

#include "rotate/socket_io.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace ph {

// A fixed-size buffer of one relay direction, its memory taken on first use and given back
// whenever it is empty and its owner says so, so an idle connection holds none.
class ByteBuffer {
 public:
  static constexpr std::size_t kCapacity = 32 * 1024;

  bool Empty() const { return begin_ == end_; }
  std::size_t Size() const { return end_ - begin_; }
  bool Full() const { return Size() == kCapacity; }
  std::string_view View() const {
    return data_ ? std::string_view(data_.get() + begin_, Size()) : std::string_view();
  }

  // Reads what fits from the end.
  IoResult ReadFrom(Endpoint& source);
  // Sends up to count bytes from the front to the end and drops what was sent.
  IoResult SendTo(Endpoint& sink, std::size_t count);
  void Consume(std::size_t count);
  void Release();  // gives the memory back; only when empty

 private:
  std::unique_ptr<char[]> data_;
  uint32_t begin_ = 0;
  uint32_t end_ = 0;
};

}  // namespace ph
