#include "web/web_fetch.h"

#include "core/gbk.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Qt's network thread reads ahead of the fetch, without limit unless told; this much is
// plenty to keep a transfer going while the window's thread is busy.
constexpr qint64 kReadAheadBytes = 1024 * 1024;

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

// One fetch under way: it owns its reply and its give-up timer, and hands over what came
// once, when the reply has finished (or has been cut off by the timer or the size cap).
class FetchJob : public QObject {
 public:
  FetchJob(QNetworkReply* reply, int timeout_ms, qint64 max_bytes, bool keep_cut,
           const QObject* context, std::function<void(const FetchedBody&)> done)
      : reply_(reply),
        max_bytes_(max_bytes),
        keep_cut_(keep_cut),
        has_context_(context != nullptr),
        context_(context),
        done_(std::move(done)) {
    reply_->setParent(this);
    connect(reply_, &QNetworkReply::finished, this, &FetchJob::Finish);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
      const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
      if (!keep_cut_ && length.isValid() && length.toLongLong() > max_bytes_) GiveUp();
    });
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
      if (!finished_ && !Take()) reply_->abort();  // finishes the reply, which calls Finish
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

  // Takes what has come so far; false once the body is past the cap, which cuts it there or
  // fails it.
  bool Take() {
    body_ += reply_->read(max_bytes_ + 1 - body_.size());
    if (body_.size() <= max_bytes_) return true;
    if (keep_cut_) {
      body_.truncate(max_bytes_);
      cut_ = true;
    } else {
      failed_ = true;
    }
    return false;
  }

  void Finish() {
    if (finished_) return;
    finished_ = true;
    give_up_.stop();
    // Any complete HTTP answer counts, error pages included: Qt reports a server's error
    // status as an error of 200 or above once the page is in. Any other error (the
    // transport, a proxy, the decompression guard stopping a compressed answer part way),
    // the time-out and the size cap give nothing.
    FetchedBody body;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply_->error();
    const bool error_page = status.toInt() >= 400 && error >= 200;
    if (!cut_ && !failed_) Take();
    body.ok =
        cut_ || (!failed_ && status.isValid() && (error == QNetworkReply::NoError || error_page));
    if (body.ok) {
      body.status = status.toInt();
      body.content_type = reply_->rawHeader("Content-Type");
      body.cut = cut_;
      body.bytes = std::move(body_);
    }
    deleteLater();
    if (!has_context_ || context_) done_(body);
  }

  QNetworkReply* reply_;
  qint64 max_bytes_;
  bool keep_cut_;  // a long body is cut and kept rather than failed
  bool has_context_;
  QPointer<const QObject> context_;
  std::function<void(const FetchedBody&)> done_;
  QTimer give_up_;
  QByteArray body_;
  bool cut_ = false;
  bool failed_ = false;
  bool finished_ = false;
};

void StartFetch(const QString& url, int timeout_ms, qint64 max_bytes, bool keep_cut,
                const QObject* context, std::function<void(const FetchedBody&)> done) {
  const QUrl target(url, QUrl::StrictMode);
  if (!target.isValid() || (target.scheme() != "http"_L1 && target.scheme() != "https"_L1) ||
      target.host().isEmpty() || !OnWindowThread()) {
    // Still later, never from inside this call.
    QPointer<const QObject> guard(context);
    const bool has_context = context != nullptr;
    QTimer::singleShot(0, QCoreApplication::instance(), [guard, has_context, done] {
      if (!has_context || guard) done(FetchedBody{});
    });
    return;
  }
  QNetworkRequest request(target);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = Manager().get(request);
  reply->setReadBufferSize(kReadAheadBytes);
  new FetchJob(reply, timeout_ms, max_bytes, keep_cut, context, std::move(done));
}

}  // namespace

void FetchAsync(const QString& url, FetchMode mode, int timeout_ms, const QObject* context,
                std::function<void(const QString& text)> done) {
  StartFetch(url, timeout_ms, kMostPageBytes, false, context,
             [mode, done = std::move(done)](const FetchedBody& body) {
               if (!body.ok) {
                 done(QString());
               } else if (mode == FetchMode::GbkBytes) {
                 done(GbkBytesToText(body.bytes).value_or(QString()));
               } else {
                 done(DecodeDeclaredCharset(body.bytes, body.content_type));
               }
             });
}

void FetchBytesAsync(const QString& url, int timeout_ms, qint64 max_bytes, const QObject* context,
                     std::function<void(const FetchedBody& body)> done) {
  StartFetch(url, timeout_ms, max_bytes, true, context, std::move(done));
}

}  // namespace ph
