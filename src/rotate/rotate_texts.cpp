#include "rotate/rotate_texts.h"

namespace ph {

using namespace Qt::StringLiterals;

QString RotateStartedText(const std::string& address, uint16_t port) {
  const QString host = QString::fromStdString(address);
  // An IPv6 address is written in brackets before its port.
  const QString shown = host.contains(u':') ? u"["_s + host + u"]"_s : host;
  return u"轮换代理已启动: %1:%2"_s.arg(shown).arg(port);
}

QString RotateStoppedText() { return u"轮换代理已停止"_s; }

QString RotateFailedText(const RotateFailure& failure) {
  return u"轮换代理启动失败,端口: %1,错误: %2 (错误代码: %3)"_s.arg(failure.port)
      .arg(QString::fromStdString(failure.reason))
      .arg(failure.number);
}

}  // namespace ph
