#include "platform/portal/screenshot_portal.h"

#include <QDBusConnection>
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

  void Ask(std::uint64_t grab) {
    if (!connected_) Connect();
    if (!bus_.isConnected()) {
      owner_->Answer(grab, ShotOutcome::Failed, {});
      return;
    }
    auto* request = PortalRequest::Send(
        bus_, QLatin1String(kInterface), QStringLiteral("Screenshot"), {QString()},
        {{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}}, this);
    connect(request, &PortalRequest::Answered, this,
            [this, grab](ResponseOutcome outcome, const QVariantMap& results) {
              const ShotAnswer answer = ReadScreenshotAnswer(outcome, results);
              if (answer.outcome != ShotOutcome::Taken) {
                owner_->Answer(grab, answer.outcome, {});
                return;
              }
              QImage image;
              // A grab given up on wants no picture, but its file goes all
              // the same: the portal leaves one per shot in ~/Pictures.
              if (owner_->StillWanted(grab)) image.load(answer.path);
              QFile::remove(answer.path);
              const ShotOutcome loaded =
                  image.isNull() ? ShotOutcome::Unreadable : ShotOutcome::Taken;
              owner_->Answer(grab, loaded, std::move(image));
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
  }

  ScreenshotPortal* owner_;
  QString busAddress_;
  QString name_;
  QDBusConnection bus_{QString()};
  bool connected_ = false;
};

ScreenshotPortal::ScreenshotPortal(const QString& busAddress) {
  worker_ = new Worker(this, busAddress);
  Start();
}

ScreenshotPortal::ScreenshotPortal(const QDBusConnection& bus) {
  worker_ = new Worker(this, bus);
  Start();
}

void ScreenshotPortal::Start() {
  worker_->moveToThread(&thread_);
  thread_.setObjectName(QStringLiteral("snapwick-screenshot"));
  thread_.start();
}

ScreenshotPortal::~ScreenshotPortal() {
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

std::optional<Frame> ScreenshotPortal::Grab(std::chrono::milliseconds timeout) {
  std::uint64_t grab = 0;
  {
    std::lock_guard lock(mutex_);
    grab = ++asked_;
  }
  QMetaObject::invokeMethod(worker_, [worker = worker_, grab] { worker->Ask(grab); });
  std::unique_lock lock(mutex_);
  const bool answered =
      answered_.wait_for(lock, timeout, [this, grab] { return answerOf_ == grab; });
  if (!answered) {
    // The late answer finds another grab asked, or none: it is dropped.
    ++asked_;
    lastOutcome_ = ShotOutcome::TimedOut;
    return std::nullopt;
  }
  lastOutcome_ = answer_;
  if (answer_ != ShotOutcome::Taken) return std::nullopt;
  handed_ = std::move(delivered_);
  delivered_ = QImage();
  auto frame = FrameOf(handed_);
  if (!frame) lastOutcome_ = ShotOutcome::Unreadable;
  return frame;
}

bool ScreenshotPortal::StillWanted(std::uint64_t grab) {
  std::lock_guard lock(mutex_);
  return asked_ == grab;
}

void ScreenshotPortal::Answer(std::uint64_t grab, ShotOutcome outcome, QImage image) {
  {
    std::lock_guard lock(mutex_);
    if (asked_ != grab) return;
    answerOf_ = grab;
    answer_ = outcome;
    delivered_ = std::move(image);
  }
  answered_.notify_all();
}

}  // namespace snapwick::portal
