#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ph {

// One non-blocking transfer's outcome.
enum class Io : uint8_t { kMoved, kWouldBlock, kEnd, kError };

struct IoResult {
  Io status = Io::kWouldBlock;
  std::size_t bytes = 0;
  int error = 0;  // errno, for kError
};

IoResult ReadSome(int fd, char* data, std::size_t size);

// One end of a relayed connection with what epoll last said about it. Edge-triggered, a
// flag stays set until a transfer shows there is no more: one that would block, or one that
// moved less than it could (any later arrival or room brings a new edge) unless the peer has
// closed, whose end came with the same edge and is yet to be read.
struct Endpoint {
  int fd = -1;
  bool readable = false;
  bool writable = false;
  bool peer_closed = false;
};

// ReadSome and SendSome that keep the end's flag.
IoResult ReadFrom(Endpoint& end, char* data, std::size_t size);
IoResult SendTo(Endpoint& end, const char* data, std::size_t size);
// Never raises SIGPIPE.
IoResult SendSome(int fd, const char* data, std::size_t size);
// Moves bytes between a socket and a pipe without copying them through us.
IoResult SpliceSome(int from, int to, std::size_t size);

// A non-blocking TCP connection under way to ip:port (host order); -1 with error set when
// it failed at once. error is EINPROGRESS while it is being made.
int StartConnect(uint32_t ip, uint16_t port, int& error);
// The outcome of a connection that became writable: 0 or its errno.
int ConnectOutcome(int fd);

// A non-blocking listening socket on address (IPv4 or IPv6 literal) and port; -1 with
// error set when it cannot be made.
int ListenOn(const std::string& address, uint16_t port, int& error);

void SetNoDelay(int fd);

// The system's text for an error number.
std::string ErrorText(int error);

}  // namespace ph
