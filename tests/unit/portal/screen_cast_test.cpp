#include "platform/portal/screen_cast.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "fake_portal.h"

namespace {

// Start's streams, a(ua{sv}), with the size as (ii).
struct StreamEntry {
  uint node = 0;
  QVariantMap properties;
};
struct SizePair {
  int width = 0;
  int height = 0;
};

}  // namespace

Q_DECLARE_METATYPE(StreamEntry)
Q_DECLARE_METATYPE(SizePair)

QDBusArgument& operator<<(QDBusArgument& a, const StreamEntry& s) {
  a.beginStructure();
  a << s.node << s.properties;
  a.endStructure();
  return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, StreamEntry& s) {
  a.beginStructure();
  a >> s.node >> s.properties;
  a.endStructure();
  return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const SizePair& s) {
  a.beginStructure();
  a << s.width << s.height;
  a.endStructure();
  return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, SizePair& s) {
  a.beginStructure();
  a >> s.width >> s.height;
  a.endStructure();
  return a;
}

namespace snapwick::portal {
namespace {

using testing::FakePortal;
using testing::PortalAnswer;
using testing::PortalCall;
using testing::PrivateBus;

QVariant Streams(uint node, int width, int height) {
  qDBusRegisterMetaType<StreamEntry>();
  qDBusRegisterMetaType<QList<StreamEntry>>();
  qDBusRegisterMetaType<SizePair>();
  return QVariant::fromValue(
      QList<StreamEntry>{{node,
                          {{QStringLiteral("size"), QVariant::fromValue(SizePair{width, height})},
                           {QStringLiteral("source_type"), 1u}}}});
}

class ScreenCast : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    portal_->SetAnswerer([this](const PortalCall& call) -> std::optional<PortalAnswer> {
      if (call.method == QLatin1String("CreateSession")) {
        return PortalAnswer{0,
                            {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(call)}}};
      }
      if (call.method == QLatin1String("Start")) {
        return PortalAnswer{startCode_,
                            {{QStringLiteral("streams"), Streams(42, 1920, 1080)},
                             {QStringLiteral("restore_token"), QStringLiteral("token-2")}}};
      }
      return PortalAnswer{};
    });
    client_ = QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("cast-client"));
    session_ = std::make_unique<ScreenCastSession>(std::make_shared<PortalConnection>(client_));
  }

  void TearDown() override {
    session_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("cast-client"));
    portal_.reset();
    bus_.reset();
  }

  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  QDBusConnection client_{QString()};
  std::unique_ptr<ScreenCastSession> session_;
  uint startCode_ = 0;
};

TEST_F(ScreenCast, AMonitorWithoutCursorIsAskedToBeRememberedAndItsStreamHandedOn) {
  QSignalSpy started(session_.get(), &ScreenCastSession::Started);
  QSignalSpy token(session_.get(), &ScreenCastSession::RestoreTokenIssued);
  session_->Start(QStringLiteral("token-1"));
  ASSERT_TRUE(started.wait(5000));
  const auto stream = started.takeFirst().at(1).value<CastStream>();
  EXPECT_EQ(stream.node, 42u);
  EXPECT_EQ(stream.size, QSize(1920, 1080));
  ASSERT_EQ(token.size(), 1);
  EXPECT_EQ(token.takeFirst().at(0).toString(), QStringLiteral("token-2"));
  EXPECT_TRUE(session_->IsOpen());

  const auto select = portal_->CallsOf(QStringLiteral("SelectSources"));
  ASSERT_EQ(select.size(), 1u);
  const QVariantMap options = select[0].Options();
  EXPECT_EQ(options.value(QStringLiteral("types")).toUInt(), 1u);  // monitor
  EXPECT_EQ(options.value(QStringLiteral("multiple")).toBool(), false);
  EXPECT_EQ(options.value(QStringLiteral("cursor_mode")).toUInt(), 1u);  // hidden
  EXPECT_EQ(options.value(QStringLiteral("persist_mode")).toUInt(), 2u);
  EXPECT_EQ(options.value(QStringLiteral("restore_token")).toString(), QStringLiteral("token-1"));
  const QString session =
      FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]);
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(select[0].args.value(0)).path(), session);
  const auto open = portal_->CallsOf(QStringLiteral("OpenPipeWireRemote"));
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(open[0].args.value(0)).path(), session);
}

TEST_F(ScreenCast, WithoutATokenNoneIsSent) {
  QSignalSpy started(session_.get(), &ScreenCastSession::Started);
  session_->Start(QString());
  ASSERT_TRUE(started.wait(5000));
  EXPECT_FALSE(portal_->CallsOf(QStringLiteral("SelectSources"))[0].Options().contains(
      QStringLiteral("restore_token")));
}

TEST_F(ScreenCast, ADeclinedChooserFailsAsCancelledAndClosesTheSession) {
  startCode_ = 1;
  QSignalSpy failed(session_.get(), &ScreenCastSession::StartFailed);
  QSignalSpy started(session_.get(), &ScreenCastSession::Started);
  session_->Start(QString());
  ASSERT_TRUE(failed.wait(5000));
  EXPECT_EQ(failed.takeFirst().at(0).value<ResponseOutcome>(), ResponseOutcome::Cancelled);
  EXPECT_EQ(started.size(), 0);
  EXPECT_FALSE(session_->IsOpen());
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("Close")).size() == 1; }, 5000));
}

TEST_F(ScreenCast, ASessionTheDesktopClosesIsNoticed) {
  QSignalSpy started(session_.get(), &ScreenCastSession::Started);
  QSignalSpy ended(session_.get(), &ScreenCastSession::Ended);
  session_->Start(QString());
  ASSERT_TRUE(started.wait(5000));
  const QString session =
      FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]);
  portal_->Signal(session, QLatin1String(kSessionInterface), QStringLiteral("Closed"),
                  {QVariantMap{}});
  ASSERT_TRUE(ended.wait(5000));
  EXPECT_FALSE(session_->IsOpen());
  // It can be started again.
  session_->Start(QStringLiteral("token-2"));
  ASSERT_TRUE(started.wait(5000));
}

TEST_F(ScreenCast, AStartWithNoStreamFails) {
  portal_->SetAnswerer([](const PortalCall& call) -> std::optional<PortalAnswer> {
    if (call.method == QLatin1String("CreateSession")) {
      return PortalAnswer{0, {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(call)}}};
    }
    return PortalAnswer{};
  });
  QSignalSpy failed(session_.get(), &ScreenCastSession::StartFailed);
  session_->Start(QString());
  ASSERT_TRUE(failed.wait(5000));
  EXPECT_EQ(failed.takeFirst().at(0).value<ResponseOutcome>(), ResponseOutcome::Failed);
}

TEST(CastStreams, OnlyTheFirstStreamCountsAndAMissingSizeIsEmpty) {
  EXPECT_FALSE(FirstStream(QVariant()));
  EXPECT_FALSE(FirstStream(QVariant(QStringLiteral("streams"))));
}

}  // namespace
}  // namespace snapwick::portal
