// The program's id to the portal: its desktop entry, and the registration
// on a connection of its own.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "fake_portal.h"
#include "platform/portal/desktop_entry.h"
#include "platform/portal/portal_connection.h"
#include "platform/portal/portal_request.h"

namespace snapwick::portal {
namespace {

using testing::FakePortal;
using testing::PortalCall;
using testing::PrivateBus;
using Registration = PortalConnection::Registration;

QList<QByteArray> LinesWith(const QByteArray& text, const QByteArray& start) {
  QList<QByteArray> found;
  for (const QByteArray& line : text.split('\n')) {
    if (line.startsWith(start)) found << line;
  }
  return found;
}

TEST(DesktopEntry, ThisCopysPathsGoInQuotedAndEscapedTheRestAsShipped) {
  const QByteArray shipped = ShippedDesktopEntry();
  ASSERT_FALSE(shipped.isEmpty());
  const auto entry = DesktopEntryFor(shipped, QStringLiteral("/opt/my apps/a$b 100%/snapwick"),
                                     QStringLiteral("/opt/my apps/a$b 100%/icon.png"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(LinesWith(*entry, "Exec"),
            QList<QByteArray>{"Exec=\"/opt/my apps/a\\\\$b 100%%/snapwick\""});
  EXPECT_EQ(LinesWith(*entry, "Icon"), QList<QByteArray>{"Icon=/opt/my apps/a$b 100%/icon.png"});
  EXPECT_EQ(LinesWith(*entry, "Name="), LinesWith(shipped, "Name="));
  EXPECT_TRUE(entry->startsWith("[Desktop Entry]\n"));

  // A backslash is four inside the quotes, a quote takes one; a line break
  // cannot be carried at all.
  const auto odd = DesktopEntryFor(shipped, QStringLiteral("/t/a\\b\"c"), QStringLiteral("/t/i\\"));
  ASSERT_TRUE(odd);
  EXPECT_EQ(LinesWith(*odd, "Exec"), QList<QByteArray>{"Exec=\"/t/a\\\\\\\\b\\\\\"c\""});
  EXPECT_EQ(LinesWith(*odd, "Icon"), QList<QByteArray>{"Icon=/t/i\\\\"});
  EXPECT_FALSE(DesktopEntryFor(shipped, QStringLiteral("/t/a\nb"), QStringLiteral("/t/i")));
}

TEST(DesktopEntry, WrittenWholeKeptWhenRightRewrittenWhenMoved) {
  QTemporaryDir home;
  const QString folder = home.filePath(QStringLiteral("share/applications"));
  const QString path = QDir(folder).filePath(DesktopEntryName());
  const auto inode = [&path] {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
  };
  const QByteArray here = *DesktopEntryFor(ShippedDesktopEntry(), QStringLiteral("/a/snapwick"),
                                           QStringLiteral("/a/icon.png"));
  ASSERT_EQ(WriteDesktopEntry(path, here), EntryWrite::Written);
  const auto first = inode();
  ASSERT_NE(first, 0u);
  EXPECT_EQ(WriteDesktopEntry(path, here), EntryWrite::Kept);
  EXPECT_EQ(inode(), first);

  const QByteArray moved = *DesktopEntryFor(ShippedDesktopEntry(), QStringLiteral("/b/snapwick"),
                                            QStringLiteral("/b/icon.png"));
  EXPECT_EQ(WriteDesktopEntry(path, moved), EntryWrite::Written);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), moved);
  // Renamed into place, nothing left beside it.
  EXPECT_NE(inode(), first);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{DesktopEntryName()});

  // A folder that cannot be made (a file stands in its way).
  QFile blocker(home.filePath(QStringLiteral("blocker")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  EXPECT_EQ(
      WriteDesktopEntry(home.filePath(QStringLiteral("blocker/applications/x.desktop")), here),
      EntryWrite::Failed);
}

// The portal with the registry, its entries looked for in `entries_`; the
// program's entry written there on demand.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    portal_->SetRegistry({entries_.path()});
    client_ = QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("registry-client"));
  }

  void TearDown() override {
    connection_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("registry-client"));
    portal_.reset();
    bus_.reset();
  }

  PortalConnection::Identity Identity() {
    return {QLatin1String(kAppId), [this] {
              ++ensured_;
              if (!writable_) return false;
              const auto text =
                  DesktopEntryFor(ShippedDesktopEntry(), QStringLiteral("/a/snapwick"),
                                  QStringLiteral("/a/icon.png"));
              return WriteDesktopEntry(QDir(entries_.path()).filePath(DesktopEntryName()), *text) !=
                     EntryWrite::Failed;
            }};
  }

  Registration Settled(std::shared_ptr<PortalConnection> connection) {
    connection_ = std::move(connection);
    if (!connection_->IsSettled()) {
      QSignalSpy settled(connection_.get(), &PortalConnection::Settled);
      EXPECT_TRUE(settled.wait(5000));
    }
    return connection_->Stage();
  }

  Registration RegisterOn(const QDBusConnection& bus) {
    return Settled(std::make_shared<PortalConnection>(
        bus, Identity(), std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(20)}));
  }

  // The id the portal gives a call made now on the connection.
  QString IdOfACall() {
    const auto before = portal_->CallsOf(QStringLiteral("CreateSession")).size();
    auto call = QDBusMessage::createMethodCall(
        QLatin1String(kPortalService), QLatin1String(kPortalPath),
        QStringLiteral("org.freedesktop.portal.ScreenCast"), QStringLiteral("CreateSession"));
    call.setArguments({QVariantMap{{QStringLiteral("handle_token"), QStringLiteral("t")}}});
    connection_->Bus().call(call);
    // The portal replies before it has written the call down.
    (void)QTest::qWaitFor(
        [&] { return portal_->CallsOf(QStringLiteral("CreateSession")).size() > before; }, 5000);
    const auto calls = portal_->CallsOf(QStringLiteral("CreateSession"));
    return calls.size() > before ? calls.back().appId : QStringLiteral("(no call)");
  }

  QTemporaryDir entries_;
  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  QDBusConnection client_{QString()};
  std::shared_ptr<PortalConnection> connection_;
  int ensured_ = 0;
  bool writable_ = true;
};

TEST_F(Registry, AnEntryInPlace_TakenAtTheFirstCallAndCarriedByTheCallsAfter) {
  ASSERT_TRUE(Identity().ensureEntry());
  ensured_ = 0;
  EXPECT_EQ(RegisterOn(client_), Registration::Registered);
  const auto registers = portal_->CallsOf(QStringLiteral("Register"));
  ASSERT_EQ(registers.size(), 1u);
  EXPECT_EQ(registers[0].args.value(0).toString(), QLatin1String(kAppId));
  EXPECT_TRUE(connection_->Usable());
  EXPECT_EQ(IdOfACall(), QLatin1String(kAppId));
}

TEST_F(Registry, NoEntry_AppInfoNotFound_TheEntryWrittenAndTheIdTakenOnTheNextTry) {
  EXPECT_EQ(RegisterOn(client_), Registration::Registered);
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Register")).size(), 2u);
  EXPECT_TRUE(QFile::exists(QDir(entries_.path()).filePath(DesktopEntryName())));
  EXPECT_EQ(IdOfACall(), QLatin1String(kAppId));
}

TEST_F(Registry, AnEntryThatCannotBeWritten_Refused) {
  writable_ = false;
  EXPECT_EQ(RegisterOn(client_), Registration::Refused);
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Register")).size(), 1u);
  EXPECT_TRUE(connection_->Refusal().contains(QStringLiteral("App info not found")));
  EXPECT_FALSE(connection_->Usable());
}

TEST_F(Registry, AConnectionThatCalledThePortalFirst_AlreadyAssociated_TheOwnOneIsTaken) {
  ASSERT_TRUE(Identity().ensureEntry());
  // Someone else's call first, as Qt's platform plugin makes on the
  // process's shared connection.
  connection_ = std::make_shared<PortalConnection>(client_);
  ASSERT_EQ(IdOfACall(), QString());
  EXPECT_EQ(RegisterOn(client_), Registration::Refused);
  EXPECT_TRUE(connection_->Refusal().contains(QStringLiteral("already associated")));

  EXPECT_EQ(Settled(PortalConnection::Open(bus_->Address(), Identity())), Registration::Registered);
  EXPECT_EQ(IdOfACall(), QLatin1String(kAppId));
}

TEST_F(Registry, AnOlderFrontEnd_CallsGoWithoutAnIdAndNoEntryIsWritten) {
  portal_.reset();
  portal_ = std::make_unique<FakePortal>(bus_->Address());  // without the registry
  EXPECT_EQ(RegisterOn(client_), Registration::NoRegistry);
  EXPECT_EQ(ensured_, 0);
  EXPECT_TRUE(connection_->Usable());
  EXPECT_EQ(IdOfACall(), QString());
}

}  // namespace
}  // namespace snapwick::portal
