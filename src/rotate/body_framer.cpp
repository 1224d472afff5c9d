#include "rotate/body_framer.h"

#include "core/numbers.h"

#include <algorithm>
#include <limits>

namespace ph {

BodyFramer BodyFramer::Tunnel() { return BodyFramer(BodyFraming{BodyKind::kUntilClose, 0}); }

BodyFramer::BodyFramer(BodyFraming framing) {
  switch (framing.kind) {
    case BodyKind::kNone:
      state_ = State::kDone;
      break;
    case BodyKind::kLength:
      state_ = framing.length == 0 ? State::kDone : State::kLength;
      remaining_ = framing.length;
      break;
    case BodyKind::kChunked:
      state_ = State::kChunkSize;
      break;
    case BodyKind::kUntilClose:
      state_ = State::kUntilClose;
      break;
  }
}

uint64_t BodyFramer::RawAllowance() const {
  switch (state_) {
    case State::kLength:
      return remaining_;
    case State::kUntilClose:
      return std::numeric_limits<uint64_t>::max();
    default:
      return 0;
  }
}

void BodyFramer::PassedRaw(uint64_t count) {
  if (state_ != State::kLength) return;
  remaining_ -= std::min(count, remaining_);
  if (remaining_ == 0) state_ = State::kDone;
}

void BodyFramer::SourceEnded() {
  if (state_ == State::kUntilClose) {
    state_ = State::kDone;
  } else if (state_ != State::kDone) {
    state_ = State::kFailed;
  }
}

std::size_t BodyFramer::Consume(std::string_view bytes) {
  std::size_t used = 0;
  while (used < bytes.size()) {
    switch (state_) {
      case State::kDone:
      case State::kFailed:
        return used;
      case State::kUntilClose:
        return bytes.size();
      case State::kLength:
      case State::kChunkData: {
        const uint64_t take = std::min<uint64_t>(remaining_, bytes.size() - used);
        used += take;
        remaining_ -= take;
        if (remaining_ == 0)
          state_ = state_ == State::kLength ? State::kDone : State::kChunkDataEnd;
        break;
      }
      default:
        Step(bytes[used++]);
        break;
    }
  }
  return used;
}

void BodyFramer::Step(char c) {
  const auto fail = [this] { state_ = State::kFailed; };
  // Lines end with CR LF; a lone LF is taken as well, a CR is passed over.
  const bool line_end = c == '\n';
  switch (state_) {
    case State::kChunkSize: {
      const int digit = HexDigitValue(static_cast<unsigned char>(c));
      if (digit >= 0) {
        // Fifteen hex digits hold any size a connection could carry.
        if (++size_digits_ > 15) return fail();
        remaining_ = remaining_ * 16 + static_cast<uint64_t>(digit);
        return;
      }
      if (size_digits_ == 0) return fail();
      state_ = State::kChunkExtension;
      line_bytes_ = 0;
      [[fallthrough]];
    }
    case State::kChunkExtension:
      if (++line_bytes_ > kMostLineBytes) return fail();
      if (!line_end) return;
      size_digits_ = 0;
      state_ = remaining_ == 0 ? State::kTrailerStart : State::kChunkData;
      return;
    case State::kChunkDataEnd:
      if (c == '\r') return;
      if (!line_end) return fail();
      state_ = State::kChunkSize;
      return;
    case State::kTrailerStart:
      if (c == '\r') return;
      if (line_end) {
        state_ = State::kDone;
        return;
      }
      state_ = State::kTrailerLine;
      line_bytes_ = 0;
      return;
    case State::kTrailerLine:
      if (++line_bytes_ > kMostLineBytes) return fail();
      if (line_end) state_ = State::kTrailerStart;
      return;
    default:
      return fail();
  }
}

}  // namespace ph
