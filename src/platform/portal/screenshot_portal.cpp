#include "platform/portal/screenshot_portal.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QUrl>
#include <atomic>

namespace snapwick::portal {

namespace {

constexpr char kInterface[] = "org.freedesktop.portal.Screenshot";

}  // namespace

ShotAnswer ReadScreenshotAnswer(ResponseOutcome outcome, const QVariantMap& results) {
  switch (outcome) {
    case ResponseOutcome::Cancelled:
      return {ShotOutcome::Cancelled, {}};
    case ResponseOutcome::Failed:
      return {ShotOutcome::Failed, {}};
    case ResponseOutcome::Success:
      break;
  }
  const QUrl uri(results.value(QStringLiteral("uri")).toString());
  // Only a file here can be read and removed; anything else is no shot.
  if (!uri.isLocalFile() || uri.toLocalFile().isEmpty()) return {ShotOutcome::Failed, {}};
  return {ShotOutcome::Taken, uri.toLocalFile()};
}

std::optional<Frame> FrameOf(QImage& image) {
  if (image.isNull()) return std::nullopt;
  // 0xffRRGGBB words: B, G, R, X in memory on every machine this runs on.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
  if (image.format() != QImage::Format_RGB32) image.convertTo(QImage::Format_RGB32);
  if (image.isNull()) return std::nullopt;
  Frame frame;
  frame.pixels = image.constBits();
  frame.width = image.width();
  frame.height = image.height();
  frame.stride = static_cast<int>(image.bytesPerLine());
  frame.layout = PixelLayout::Bgrx;
  return frame;
}

// Lives on the portal's thread: asks, and loads and removes the file.
class ScreenshotPortal::Worker : public QObject {
 public:
  Worker(ScreenshotPortal* owner, QString busAddress)
      : owner_(owner), busAddress_(std::move(busAddress)) {}
  Worker(ScreenshotPortal* owner, const QDBusConnection& bus)
      : owner_(owner), bus_(bus), connected_(true) {}

  void Ask(std::uint64_t request) {
    if (!connected_) Connect();
    if (!bus_.isConnected()) {
      owner_->Settle(request, ShotOutcome::Failed, {});
      return;
    }
    pending_ = PortalRequest::Send(
        bus_, QLatin1String(kInterface), QStringLiteral("Screenshot"), {QString()},
        {{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}}, this);
    pendingOf_ = request;
    connect(pending_, &PortalRequest::Answered, this,
            [this, request](ResponseOutcome outcome, const QVariantMap& results) {
              pending_ = nullptr;
              const ShotAnswer answer = ReadScreenshotAnswer(outcome, results);
              if (answer.outcome != ShotOutcome::Taken) {
                owner_->Settle(request, answer.outcome, {});
                return;
              }
              QImage image;
              // A request given up on wants no picture, but its file goes
              // all the same: the portal leaves one per shot in ~/Pictures.
              if (owner_->StillWanted(request)) {
                image.load(answer.path);
                // Converted here, off the caller's thread.
                (void)FrameOf(image);
              }
              QFile::remove(answer.path);
              const ShotOutcome loaded =
                  image.isNull() ? ShotOutcome::Unreadable : ShotOutcome::Taken;
              owner_->Settle(request, loaded, std::move(image));
            });
  }

  void Disconnect() {
    if (!name_.isEmpty()) QDBusConnection::disconnectFromBus(name_);
  }

 private:
  void Connect() {
    connected_ = true;
    static std::atomic<int> count{0};
    name_ = QStringLiteral("snapwick-screenshot-%1").arg(++count);
    // A connection of its own, so that its signals are read on this
    // thread whatever the program's own connection is doing.
    bus_ = busAddress_.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)
                                 : QDBusConnection::connectToBus(busAddress_, name_);
    // A front end that leaves the bus takes its requests with it: the one
    // in flight is answered by no one, and must not block the next.
    auto* watcher = new QDBusServiceWatcher(QLatin1String(kPortalService), bus_,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
      if (!pending_) return;
      pending_->Abandon();
      pending_ = nullptr;
      owner_->Settle(pendingOf_, ShotOutcome::Failed, {});
    });
  }

  ScreenshotPortal* owner_;
  QString busAddress_;
  QString name_;
  QDBusConnection bus_{QString()};
  bool connected_ = false;
  PortalRequest* pending_ = nullptr;
  std::uint64_t pendingOf_ = 0;
};

ScreenshotPortal::ScreenshotPortal(AnswerHandler onAnswer, const QString& busAddress)
    : onAnswer_(std::move(onAnswer)) {
  worker_ = new Worker(this, busAddress);
  Start();
}

ScreenshotPortal::ScreenshotPortal(AnswerHandler onAnswer, const QDBusConnection& bus)
    : onAnswer_(std::move(onAnswer)) {
  worker_ = new Worker(this, bus);
  Start();
}

void ScreenshotPortal::Start() {
  timeout_.setSingleShot(true);
  QObject::connect(&timeout_, &QTimer::timeout, &context_, [this] {
    {
      // Its answer, should it still come, only has its file removed.
      std::lock_guard lock(mutex_);
      if (asked_ == waitedFor_) wanted_ = false;
    }
    waitedFor_ = 0;
    Tell(ShotOutcome::TimedOut, std::nullopt);
  });
  worker_->moveToThread(&thread_);
  thread_.setObjectName(QStringLiteral("snapwick-screenshot"));
  thread_.start();
}

ScreenshotPortal::~ScreenshotPortal() {
  {
    std::unique_lock lock(mutex_);
    closing_ = true;
    wanted_ = false;
    // Bounded: a desktop that never answers must not keep the program
    // from ending.
    settled_.wait_for(lock, kQuitWait, [this] { return answeredUpTo_ == asked_; });
  }
  QMetaObject::invokeMethod(
      worker_,
      [worker = worker_] {
        worker->Disconnect();
        delete worker;
      },
      Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

bool ScreenshotPortal::Ask(std::chrono::milliseconds timeout) {
  std::uint64_t request = 0;
  {
    std::lock_guard lock(mutex_);
    if (answeredUpTo_ != asked_) return false;
    request = ++asked_;
    wanted_ = true;
  }
  waitedFor_ = request;
  timeout_.start(timeout);
  QMetaObject::invokeMethod(worker_, [worker = worker_, request] { worker->Ask(request); });
  return true;
}

bool ScreenshotPortal::InFlight() const {
  std::lock_guard lock(mutex_);
  return answeredUpTo_ != asked_;
}

bool ScreenshotPortal::StillWanted(std::uint64_t request) const {
  std::lock_guard lock(mutex_);
  return asked_ == request && wanted_ && !closing_;
}

void ScreenshotPortal::Settle(std::uint64_t request, ShotOutcome outcome, QImage image) {
  std::lock_guard lock(mutex_);
  answeredUpTo_ = request;
  settled_.notify_all();
  // Under the lock: once closing, nothing more is posted to an object
  // that is going.
  if (closing_) return;
  QMetaObject::invokeMethod(
      &context_,
      [this, request, outcome, image = std::move(image)]() mutable {
        OnAnswered(request, outcome, std::move(image));
      },
      Qt::QueuedConnection);
}

void ScreenshotPortal::OnAnswered(std::uint64_t request, ShotOutcome outcome, QImage image) {
  // An answer that came after its time was told as nothing already.
  if (request != waitedFor_) return;
  waitedFor_ = 0;
  timeout_.stop();
  if (outcome != ShotOutcome::Taken) {
    Tell(outcome, std::nullopt);
    return;
  }
  handed_ = std::move(image);
  const auto frame = FrameOf(handed_);
  Tell(frame ? ShotOutcome::Taken : ShotOutcome::Unreadable, frame);
}

void ScreenshotPortal::Tell(ShotOutcome outcome, std::optional<Frame> frame) {
  lastOutcome_ = outcome;
  if (onAnswer_) onAnswer_(frame);
}

}  // namespace snapwick::portal
