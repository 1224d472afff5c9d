#include "rotate/byte_buffer.h"

#include <algorithm>
#include <cstring>

namespace ph {

IoResult ByteBuffer::ReadFrom(Endpoint& source) {
  if (!data_) data_ = std::make_unique_for_overwrite<char[]>(kCapacity);
  if (end_ == kCapacity && begin_ > 0) {
    std::memmove(data_.get(), data_.get() + begin_, Size());
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == kCapacity) return {Io::kWouldBlock, 0, 0};
  const IoResult result = ph::ReadFrom(source, data_.get() + end_, kCapacity - end_);
  if (result.status == Io::kMoved) end_ += static_cast<uint32_t>(result.bytes);
  return result;
}

IoResult ByteBuffer::SendTo(Endpoint& sink, std::size_t count) {
  const IoResult result = ph::SendTo(sink, data_.get() + begin_, std::min(count, Size()));
  if (result.status == Io::kMoved) Consume(result.bytes);
  return result;
}

void ByteBuffer::Consume(std::size_t count) {
  begin_ += static_cast<uint32_t>(std::min(count, Size()));
  if (begin_ == end_) begin_ = end_ = 0;
}

void ByteBuffer::Release() {
  if (Empty()) data_.reset();
}

}  // namespace ph
