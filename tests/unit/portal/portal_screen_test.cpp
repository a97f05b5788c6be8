#include "platform/portal/portal_screen.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <map>
#include <memory>

#include "fake_portal.h"
#include "platform/portal/restore_token.h"

namespace {

struct CastEntry {
  uint node = 0;
  QVariantMap properties;
};

}  // namespace

Q_DECLARE_METATYPE(CastEntry)

QDBusArgument& operator<<(QDBusArgument& a, const CastEntry& s) {
  a.beginStructure();
  a << s.node << s.properties;
  a.endStructure();
  return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, CastEntry& s) {
  a.beginStructure();
  a >> s.node >> s.properties;
  a.endStructure();
  return a;
}

namespace snapwick::portal {
namespace {

using std::chrono::milliseconds;
using testing::FakePortal;
using testing::PortalAnswer;
using testing::PortalCall;
using testing::PrivateBus;

// A desktop with both portals: its ScreenCast answers Start with `startCode_`
// and a stream whose remote (a pipe from the fake) never carries a frame,
// as headless KDE's does; its Screenshot writes a 4x2 picture file.
class PortalScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    qDBusRegisterMetaType<CastEntry>();
    qDBusRegisterMetaType<QList<CastEntry>>();
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    QImage image(4, 2, QImage::Format_RGB888);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) image.setPixel(x, y, qRgb(20 * x, 90 + y, 250));
    }
    picture_ = image;
    portal_->SetAnswerer([this](const PortalCall& call) -> std::optional<PortalAnswer> {
      std::lock_guard lock(mutex_);
      if (call.method == QLatin1String("CreateSession")) {
        return PortalAnswer{0,
                            {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(call)}}};
      }
      if (call.method == QLatin1String("Start")) {
        return PortalAnswer{
            startCode_,
            {{QStringLiteral("streams"), QVariant::fromValue(QList<CastEntry>{{7, {}}})},
             {QStringLiteral("restore_token"), QStringLiteral("token-2")}}};
      }
      if (call.method == QLatin1String("Screenshot")) {
        const QString path = dir_.filePath(QStringLiteral("Screenshot_%1.png").arg(++shots_));
        written_ << path;
        picture_.save(path);
        return PortalAnswer{0, {{QStringLiteral("uri"), QUrl::fromLocalFile(path).toString()}}};
      }
      return PortalAnswer{};
    });
    client_ = QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("screen-client"));
    tokenFile_ = dir_.filePath(QStringLiteral("screencast.token"));
  }

  void TearDown() override {
    source_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("screen-client"));
    portal_.reset();
    bus_.reset();
  }

  void Make(bool screenCast = true, bool screenshot = true, bool wanted = true,
            milliseconds firstFrame = milliseconds(100)) {
    PortalScreenSource::Options options;
    options.screenCast = screenCast;
    options.screenshot = screenshot;
    options.tokenFile = tokenFile_;
    options.firstFrame = firstFrame;
    source_ =
        std::make_unique<PortalScreenSource>(std::make_shared<PortalConnection>(client_), options);
    source_->SetGrabbedHandler([this](std::optional<Frame> frame) {
      ++grabbedReports_;
      toldFrame_ = frame;
    });
    if (wanted) source_->SetWanted(true);
  }

  // A grab's frame, told at once or later from the event loop (never from
  // inside Grab); nothing when it failed or nothing was told.
  std::optional<Frame> Grab(ScreenGrab::State expected = ScreenGrab::State::Pending) {
    const int before = grabbedReports_;
    const ScreenGrab grab = source_->Grab();
    EXPECT_EQ(grab.state, expected);
    EXPECT_EQ(grabbedReports_, before) << "told inside Grab";
    if (grab.state == ScreenGrab::State::Ready) return grab.frame;
    if (grab.state == ScreenGrab::State::Failed) return std::nullopt;
    EXPECT_TRUE(QTest::qWaitFor([&] { return grabbedReports_ > before; }, 10000));
    EXPECT_EQ(grabbedReports_, before + 1);
    return toldFrame_;
  }

  int Calls(const char* method) {
    return static_cast<int>(portal_->CallsOf(QLatin1String(method)).size());
  }

  void ExpectThePicture(const Frame& frame) {
    ASSERT_EQ(frame.width, 4);
    ASSERT_EQ(frame.height, 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) {
        const std::uint8_t* p = frame.pixels + y * frame.stride + x * 4;
        EXPECT_EQ(p[0], 250);
        EXPECT_EQ(p[1], 90 + y);
        EXPECT_EQ(p[2], 20 * x);
      }
    }
  }

  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  QDBusConnection client_{QString()};
  std::unique_ptr<PortalScreenSource> source_;
  QTemporaryDir dir_;
  QString tokenFile_;
  std::mutex mutex_;
  QImage picture_;
  QStringList written_;
  int shots_ = 0;
  uint startCode_ = 0;
  int grabbedReports_ = 0;
  std::optional<Frame> toldFrame_;
};

TEST_F(PortalScreen, TheTokenFromTheFileIsOfferedAndTheNewOneKept) {
  ASSERT_EQ(SaveRestoreToken(tokenFile_, QStringLiteral("token-1")), Status::Ok);
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("OpenPipeWireRemote") == 1; }, 5000));
  const auto select = portal_->CallsOf(QStringLiteral("SelectSources"));
  ASSERT_EQ(select.size(), 1u);
  EXPECT_EQ(select[0].Options().value(QStringLiteral("restore_token")).toString(),
            QStringLiteral("token-1"));
  EXPECT_EQ(select[0].Options().value(QStringLiteral("persist_mode")).toUInt(), 2u);
  EXPECT_EQ(LoadRestoreToken(tokenFile_), QStringLiteral("token-2"));
}

TEST_F(PortalScreen, AStreamWithoutFrames_TheScreenshotsPictureAndItsFileGone) {
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("OpenPipeWireRemote") == 1; }, 5000));
  QTest::qWait(150);  // past the first frame's wait
  for (int shot = 0; shot < 2; ++shot) {
    const auto frame = Grab();
    ASSERT_TRUE(frame);
    EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::Screenshot);
    ExpectThePicture(*frame);
  }
  ASSERT_EQ(written_.size(), 2);
  for (const QString& path : written_) EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
  EXPECT_EQ(Calls("Screenshot"), 2);
}

TEST_F(PortalScreen, TheChooserDeclined_ScreenshotsFromThenOn) {
  startCode_ = 1;
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->CastRefused(); }, 5000));
  EXPECT_EQ(Calls("OpenPipeWireRemote"), 0);
  const auto frame = Grab();
  ASSERT_TRUE(frame);
  EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::Screenshot);
  ExpectThePicture(*frame);
  // No token came, and none is invented.
  EXPECT_FALSE(QFile::exists(tokenFile_));
}

TEST_F(PortalScreen, SharingStoppedByTheUser_NotAskedAgainAndScreenshotsFromThenOn) {
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("OpenPipeWireRemote") == 1; }, 5000));
  const QString session =
      FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]);
  portal_->Signal(session, QLatin1String(kSessionInterface), QStringLiteral("Closed"),
                  {QVariantMap{}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->CastRefused(); }, 5000));
  ASSERT_TRUE(Grab());
  EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::Screenshot);
  EXPECT_EQ(source_->Stream(), nullptr);
  QTest::qWait(100);
  EXPECT_EQ(Calls("CreateSession"), 1);
}

TEST_F(PortalScreen, OnlyTheWaysTheDesktopHas) {
  // Screenshot alone: no screen cast asked for, no chooser.
  Make(false, true);
  ASSERT_TRUE(Grab());
  EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::Screenshot);
  EXPECT_EQ(Calls("CreateSession"), 0);

  // A screen cast without a Screenshot portal and without frames: no shot,
  // never a stale or black one.
  source_.reset();
  Make(true, false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->Stream() != nullptr; }, 5000));
  QTest::qWait(150);  // past the first frame's wait
  EXPECT_FALSE(Grab(ScreenGrab::State::Failed));
  EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::None);
  EXPECT_EQ(Calls("Screenshot"), 1);
}

// Before the stream's first frame the grab is pending, not waited for on
// the caller's thread; the stream sending none in time, the Screenshot
// portal's picture comes instead. Meanwhile a second grab is refused and
// nothing more is asked of the desktop.
TEST_F(PortalScreen, NoFrameYet_PendingThenTheScreenshotAndOneRequestAtATime) {
  Make(true, true, true, milliseconds(1000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->Stream() != nullptr; }, 5000));
  const ScreenGrab first = source_->Grab();
  ASSERT_EQ(first.state, ScreenGrab::State::Pending);
  EXPECT_EQ(source_->Grab().state, ScreenGrab::State::Failed);
  ASSERT_TRUE(QTest::qWaitFor([&] { return grabbedReports_ == 1; }, 5000));
  ASSERT_TRUE(toldFrame_);
  EXPECT_EQ(source_->LastFrameOrigin(), FrameOrigin::Screenshot);
  ExpectThePicture(*toldFrame_);
  EXPECT_EQ(Calls("Screenshot"), 1);
  QTest::qWait(50);
  EXPECT_EQ(grabbedReports_, 1);
}

// A program that holds no key must not show the desktop's chooser for
// nothing; one whose key the desktop let go of shares the screen no more.
TEST_F(PortalScreen, ShotsCannotCome_NoScreenCastOrItEnds) {
  Make(true, true, false, milliseconds(5000));
  QTest::qWait(200);
  EXPECT_EQ(Calls("CreateSession"), 0);
  source_->SetWanted(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->Stream() != nullptr; }, 5000));
  // A grab waiting on the stream when shots stop gets nothing, told from
  // the event loop, and no Screenshot is asked for it.
  ASSERT_EQ(source_->Grab().state, ScreenGrab::State::Pending);
  source_->SetWanted(false);
  EXPECT_EQ(grabbedReports_, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("Close") == 1 && grabbedReports_ == 1; }, 5000));
  EXPECT_FALSE(toldFrame_);
  EXPECT_EQ(source_->Stream(), nullptr);
  EXPECT_EQ(Calls("Screenshot"), 0);
  // And once shots can come again, the screen cast is asked for anew.
  source_->SetWanted(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return source_->Stream() != nullptr; }, 5000));
  EXPECT_EQ(Calls("OpenPipeWireRemote"), 2);
}

// The connection to PipeWire may watch the screen: no program started
// from ours (the browser the publisher's link opens) may inherit it, nor
// any other descriptor the portals gave.
TEST_F(PortalScreen, EveryDescriptorIsClosedAcrossExec) {
  // Those the test was started with are not the portal layer's.
  const auto open = [] {
    std::map<int, QString> found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
      // The listing's own descriptor is closed by now.
      if (::fcntl(name.toInt(), F_GETFD) >= 0) {
        found[name.toInt()] = QFile::symLinkTarget(fds.filePath(name));
      }
    }
    return found;
  };
  const auto before = open();
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return source_->Stream() != nullptr; }, 5000));
  QTest::qWait(150);
  ASSERT_TRUE(Grab());
  const int remote = source_->Stream()->RemoteFd();
  ASSERT_GE(remote, 0);
  EXPECT_NE(::fcntl(remote, F_GETFD) & FD_CLOEXEC, 0);
  for (const auto& [fd, target] : open()) {
    if (before.count(fd) && before.at(fd) == target) continue;
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << fd << " -> " << target.toStdString();
  }
}

TEST_F(PortalScreen, TheSourceGone_TheScreenCastSessionIsClosed) {
  Make();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("OpenPipeWireRemote") == 1; }, 5000));
  const QString session =
      FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]);
  source_.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Calls("Close") == 1; }, 5000));
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Close"))[0].path, session);
}

}  // namespace
}  // namespace snapwick::portal
