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
#include <memory>
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

// One fetch under way: it owns its reply and its give-up timer, and hands over its text
// once, when the reply has finished (or has been cut off by the timer or the size cap).
class FetchJob : public QObject {
 public:
  FetchJob(QNetworkReply* reply, FetchMode mode, int timeout_ms, const QObject* context,
           std::function<void(const QString&)> done)
      : reply_(reply),
        mode_(mode),
        has_context_(context != nullptr),
        context_(context),
        done_(std::move(done)) {
    reply_->setParent(this);
    connect(reply_, &QNetworkReply::finished, this, &FetchJob::Finish);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
      const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
      if (length.isValid() && length.toLongLong() > kMaxBodyBytes) GiveUp();
    });
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
      if (received > kMaxBodyBytes) GiveUp();
    });
    give_up_.setSingleShot(true);
    connect(&give_up_, &QTimer::timeout, this, &FetchJob::GiveUp);
    give_up_.start(std::max(timeout_ms, 0));
  }

 private:
  void GiveUp() {
    failed_ = true;
    reply_->abort();  // finishes the reply, which calls Finish
  }

  void Finish() {
    if (finished_) return;
    finished_ = true;
    give_up_.stop();
    // Any complete HTTP answer counts, error pages included. Transport and proxy failures
    // (error codes below 200), the time-out and the size cap give "".
    QString text;
    const bool transport_failed =
        reply_->error() != QNetworkReply::NoError && reply_->error() < 200;
    if (!failed_ && !transport_failed &&
        reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
      const QByteArray body = reply_->readAll();
      if (mode_ == FetchMode::GbkBytes) {
        text = GbkBytesToText(body).value_or(QString());
      } else {
        text = DecodeDeclaredCharset(body, reply_->rawHeader("Content-Type"));
      }
    }
    deleteLater();
    if (!has_context_ || context_) done_(text);
  }

  QNetworkReply* reply_;
  FetchMode mode_;
  bool has_context_;
  QPointer<const QObject> context_;
  std::function<void(const QString&)> done_;
  QTimer give_up_;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace

void FetchAsync(const QString& url, FetchMode mode, int timeout_ms, const QObject* context,
                std::function<void(const QString& text)> done) {
  const QUrl target(url, QUrl::StrictMode);
  if (!target.isValid() || (target.scheme() != "http"_L1 && target.scheme() != "https"_L1) ||
      target.host().isEmpty() || !OnWindowThread()) {
    // Still later, never from inside this call.
    QPointer<const QObject> guard(context);
    const bool has_context = context != nullptr;
    QTimer::singleShot(0, QCoreApplication::instance(), [guard, has_context, done] {
      if (!has_context || guard) done(QString());
    });
    return;
  }
  QNetworkRequest request(target);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  new FetchJob(Manager().get(request), mode, timeout_ms, context, std::move(done));
}

QString FetchUrl(const QString& url, FetchMode mode, int timeout_ms) {
  if (!OnWindowThread()) return {};
  struct Outcome {
    bool done = false;
    QString text;
    QPointer<QEventLoop> loop;
  };
  auto outcome = std::make_shared<Outcome>();
  QEventLoop loop;
  outcome->loop = &loop;
  FetchAsync(url, mode, timeout_ms, nullptr, [outcome](const QString& text) {
    outcome->done = true;
    outcome->text = text;
    if (outcome->loop) outcome->loop->quit();
  });
  // The loop also ends when the application does; only the flag says an answer came.
  if (!outcome->done) loop.exec();
  return outcome->done ? outcome->text : QString();
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
