#include "web/web_fetch.h"

#include "core/gbk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QNetworkAccessManager& Manager() {
  static QPointer<QNetworkAccessManager> manager;
  if (!manager) {
    // Follow the desktop's proxy settings, so a browser proxy set by the user applies too.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    manager = new QNetworkAccessManager(QCoreApplication::instance());
  }
  return *manager;
}

bool OnWindowThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

QString FetchUrl(const QString& url, FetchMode mode, int timeout_ms) {
  const QUrl target(url, QUrl::StrictMode);
  if (!target.isValid() || (target.scheme() != "http"_L1 && target.scheme() != "https"_L1) ||
      target.host().isEmpty() || !OnWindowThread())
    return {};

  QNetworkRequest request(target);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = Manager().get(request);
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  bool timed_out = false;
  QTimer give_up;
  give_up.setSingleShot(true);
  QObject::connect(&give_up, &QTimer::timeout, reply, [&] {
    timed_out = true;
    reply->abort();
  });
  give_up.start(timeout_ms);
  if (!reply->isFinished()) loop.exec();

  // Any complete HTTP answer counts, error pages included. Transport and proxy failures
  // (error codes below 200) and our own time-out give "".
  QString text;
  const bool transport_failed = reply->error() != QNetworkReply::NoError && reply->error() < 200;
  if (!timed_out && !transport_failed &&
      reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
    const QByteArray body = reply->readAll();
    if (mode == FetchMode::GbkBytes) {
      text = GbkBytesToText(body).value_or(QString());
    } else {
      text = DecodeDeclaredCharset(body, reply->rawHeader("Content-Type"));
    }
  }
  reply->deleteLater();
  return text;
}

void WaitMs(int ms) {
  if (ms <= 0) return;
  if (!OnWindowThread()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  QElapsedTimer clock;
  clock.start();
  for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

}  // namespace ph
