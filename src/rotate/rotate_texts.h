#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace ph {

// Why the listener could not open its port.
struct RotateFailure {
  uint16_t port = 0;
  int number = 0;      // errno
  std::string reason;  // the system's text for it
};

// Status texts of the rotating port, for the status bar and the headless log.
// "轮换代理已启动: 127.0.0.1:8899"
QString RotateStartedText(const std::string& address, uint16_t port);
// "轮换代理已停止"
QString RotateStoppedText();
// "轮换代理启动失败,端口: 8899,错误: Address already in use (错误代码: 98)"
QString RotateFailedText(const RotateFailure& failure);

}  // namespace ph
