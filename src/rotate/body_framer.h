#pragma once

#include "rotate/http_message.h"

#include <cstdint>
#include <string_view>

namespace ph {

// Finds where a message body ends in the bytes that follow its head, without changing them:
// after a length, after the last chunk and its trailer, at the end of the connection, or
// never (a tunnel).
class BodyFramer {
 public:
  static BodyFramer Tunnel();
  explicit BodyFramer(BodyFraming framing = {});

  bool Done() const { return state_ == State::kDone; }
  bool Failed() const { return state_ == State::kFailed; }
  bool UntilClose() const { return state_ == State::kUntilClose; }
  // Takes the bytes that follow those seen so far; returns how many of them belong to the
  // body (fewer only where it ends). A malformed chunk encoding sets Failed.
  std::size_t Consume(std::string_view bytes);
  // How many bytes may pass without being looked at: the rest of a length, any number until
  // the connection ends, none inside a chunk encoding.
  uint64_t RawAllowance() const;
  void PassedRaw(uint64_t count);
  // The connection ended: a body read to the end is complete; any other is cut short.
  void SourceEnded();

  // A chunk-size line or a trailer line longer than this is refused.
  static constexpr std::size_t kMostLineBytes = 4096;

 private:
  enum class State : uint8_t {
    kLength,
    kUntilClose,
    kChunkSize,       // hex digits of a chunk's size
    kChunkExtension,  // the rest of the size line
    kChunkData,
    kChunkDataEnd,  // the CR LF after a chunk's data
    kTrailerStart,  // a trailer line or the empty line that ends the body
    kTrailerLine,
    kDone,
    kFailed,
  };

  // Takes one byte of the chunk encoding's framing.
  void Step(char c);

  State state_ = State::kDone;
  uint64_t remaining_ = 0;  // of the length or of the chunk
  std::size_t line_bytes_ = 0;
  int size_digits_ = 0;
};

}  // namespace ph
