#include "platform/portal/portal_hotkey.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "fake_portal.h"
#include "platform/portal/portal_parts.h"
#include "platform/portal/shortcut_list.h"

namespace snapwick::portal {
namespace {

using testing::FakePortal;
using testing::PortalAnswer;
using testing::PortalCall;
using testing::PrivateBus;

constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr int kF8 = 0x77;
constexpr int kF9 = 0x78;
constexpr int kShift = 0x10;

TEST(SameKey, TheDesktopsWordsForTheKeyAskedFor) {
  struct Case {
    const char* requested;
    const char* reported;
    bool same;
  } cases[] = {
      {"F8", "F8", true},
      {"a", "A", true},
      {"Prior", "PgUp", true},
      {"Escape", "Esc", true},
      {"KP_5", "Num+5", true},
      {"KP_Add", "Num++", true},
      {"Print", "Print", true},
      // GNOME's sentence around the key, in any language.
      {"F8", "Press F8", true},
      {"F8", "Нажмите F8", true},
      {"a", "Press A", true},
      // Another key, a modifier with it, or none.
      {"F8", "F9", false},
      {"F8", "Ctrl+F8", false},
      {"F8", "F8, F9", false},
      {"F8", "Press Ctrl+F8", false},
      {"F8", "Press F18", false},
      {"KP_5", "5", false},
      {"Prior", "Prior+", false},
      {"F8", "", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameKey(QLatin1String(c.requested), QString::fromUtf8(c.reported)), c.same)
        << c.requested << " / " << c.reported;
  }
}

// A desktop like Plasma 5.27 that binds the shortcut from CreateSession's
// options and lists it with `trigger_` as its key.
class PortalHotkey : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    portal_->SetAnswerer([this](const PortalCall& call) -> std::optional<PortalAnswer> {
      std::lock_guard lock(mutex_);
      if (call.method == QLatin1String("CreateSession")) {
        const auto shortcuts = ShortcutsFrom(call.Options().value(QStringLiteral("shortcuts")));
        if (shortcuts && !shortcuts->isEmpty()) id_ = shortcuts->first().id;
        if (refuse_) return PortalAnswer{2, {}};
        return PortalAnswer{0,
                            {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(call)}}};
      }
      if (call.method == QLatin1String("ListShortcuts")) {
        return PortalAnswer{0, Listing(trigger_.isNull() ? Requested(id_) : trigger_)};
      }
      return PortalAnswer{};
    });
    client_ = QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("hotkey-client"));
    Make(std::make_shared<PortalConnection>(client_));
  }

  void Make(std::shared_ptr<PortalConnection> connection) {
    source_.reset();
    source_ = std::make_unique<PortalHotkeySource>(
        std::move(connection), QStringLiteral("snapwick_test"), ShortcutFlow::FromCreateSession);
    source_->SetKeyHandler([this](KeySeen seen) { edges_.push_back(seen == KeySeen::Down); });
    source_->SetBoundHandler([this](std::string_view name) { bound_.emplace_back(name); });
  }

  void TearDown() override {
    source_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("hotkey-client"));
    portal_.reset();
    bus_.reset();
  }

  static QString Requested(const QString& id) { return id.mid(5); }  // "shot_F8"

  QVariantMap Listing(const QString& trigger) const {
    return {{QStringLiteral("shortcuts"),
             ToDBus({{id_, {{QStringLiteral("trigger_description"), trigger}}}})}};
  }

  QString Session() const {
    return FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession")).back());
  }

  // Waits until the desktop has listed the shortcut of the `sessions`-th
  // session, and its answer has been read.
  void WaitListed(std::size_t sessions = 1) {
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return portal_->CallsOf(QStringLiteral("ListShortcuts")).size() >= sessions &&
                 !source_->Session().Trigger().isEmpty();
        },
        5000));
  }

  // Everything the portal sent before has arrived once a marker sent after
  // it has (signals keep their order through the daemon): the desktop
  // repeating the trigger it last reported (`last`, when the test sent one
  // since), which changes nothing.
  void Settle(const QString& last = QString()) {
    QSignalSpy trigger(&source_->Session(), &GlobalShortcutsSession::TriggerReported);
    portal_->Signal(QLatin1String(kPortalPath), QLatin1String(kInterface),
                    QStringLiteral("ShortcutsChanged"),
                    {QVariant::fromValue(QDBusObjectPath(Session())),
                     Listing(last.isNull() ? source_->Session().Trigger() : last).first()});
    const int reports = std::exchange(changes_, 0) + 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return trigger.size() >= reports; }, 5000));
  }

  void Send(const QString& name) {
    portal_->Signal(QLatin1String(kPortalPath), QLatin1String(kInterface), name,
                    {QVariant::fromValue(QDBusObjectPath(Session())),
                     source_->Session().ShortcutId(), qulonglong{1}, QVariantMap{}});
  }

  void Change(const QString& trigger) {
    ++changes_;
    portal_->Signal(QLatin1String(kPortalPath), QLatin1String(kInterface),
                    QStringLiteral("ShortcutsChanged"),
                    {QVariant::fromValue(QDBusObjectPath(Session())), Listing(trigger).first()});
  }

  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  QDBusConnection client_{QString()};
  std::unique_ptr<PortalHotkeySource> source_;
  std::mutex mutex_;
  QString id_;
  QString trigger_;  // null: the key asked for
  bool refuse_ = false;
  int changes_ = 0;  // ShortcutsChanged sent and not waited for yet
  std::vector<bool> edges_;
  std::vector<std::string> bound_;
};

TEST_F(PortalHotkey, TheKeyAskedForBound_ToldOnceTheDesktopAnsweredAndItsEdges) {
  EXPECT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  EXPECT_TRUE(bound_.empty());
  WaitListed();
  EXPECT_EQ(bound_, std::vector<std::string>{"F8"});
  Send(QStringLiteral("Activated"));
  Send(QStringLiteral("Deactivated"));
  Settle();
  EXPECT_EQ(edges_, (std::vector<bool>{true, false}));
  // The same key in other words is still the same key.
  Change(QStringLiteral("f8"));
  Settle(QStringLiteral("f8"));
  EXPECT_EQ(bound_, std::vector<std::string>{"F8"});
}

TEST_F(PortalHotkey, TheKeyAskedForInGnomesSentence_ToldByItsOwnName) {
  trigger_ = QStringLiteral("Press F8");
  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed();
  EXPECT_EQ(bound_, std::vector<std::string>{"F8"});
}

TEST_F(PortalHotkey, TheDesktopHoldsAnotherKey_ToldInItsWordsAndWhenItComesBack) {
  trigger_ = QStringLiteral("Ctrl+F8");
  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed();
  EXPECT_EQ(bound_, std::vector<std::string>{"Ctrl+F8"});
  // The user gives it another key in the desktop's settings, then none,
  // then the one the program asked for; a repeat of the same says nothing.
  Change(QStringLiteral("Ctrl+F8"));
  Change(QStringLiteral("F10"));
  Change(QString());
  Change(QStringLiteral("F8"));
  Settle(QStringLiteral("F8"));
  EXPECT_EQ(bound_, (std::vector<std::string>{"Ctrl+F8", "F10", "", "F8"}));
}

TEST_F(PortalHotkey, ASessionRefusedOrClosed_NoKeyInForce) {
  refuse_ = true;
  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bound_.empty(); }, 5000));
  EXPECT_EQ(bound_, std::vector<std::string>{""});

  refuse_ = false;
  bound_.clear();
  ASSERT_EQ(source_->Watch(kF9), HotkeyWatch::Reported);
  WaitListed();
  EXPECT_EQ(bound_, std::vector<std::string>{"F9"});
  // The desktop closes it (its daemon restarted): a key held is let go.
  Send(QStringLiteral("Activated"));
  Settle();
  portal_->Signal(Session(), QLatin1String(kSessionInterface), QStringLiteral("Closed"),
                  {QVariantMap{}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return bound_.size() == 2; }, 5000));
  EXPECT_EQ(bound_, (std::vector<std::string>{"F9", ""}));
  EXPECT_EQ(edges_, (std::vector<bool>{true, false}));
}

TEST_F(PortalHotkey, TheProgramNotTakenByItsId_NoKeyToldFromTheEventLoopAndNothingAsked) {
  QTemporaryDir entries;
  portal_->SetRegistry({entries.path()});
  // No entry, and none can be written: the front end will not take the id.
  auto connection = std::make_shared<PortalConnection>(
      client_,
      PortalConnection::Identity{QStringLiteral("example.kelmont.Snapwick"), [] { return false; }});
  Make(connection);
  EXPECT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  EXPECT_TRUE(bound_.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bound_.empty(); }, 5000));
  EXPECT_EQ(bound_, std::vector<std::string>{""});
  EXPECT_EQ(connection->Stage(), PortalConnection::Registration::Refused);
  EXPECT_TRUE(portal_->CallsOf(QStringLiteral("CreateSession")).empty());
  // Each new key is told the same, never left unanswered.
  bound_.clear();
  EXPECT_EQ(source_->Watch(kF9), HotkeyWatch::Reported);
  EXPECT_TRUE(bound_.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bound_.empty(); }, 5000));
  EXPECT_EQ(bound_, std::vector<std::string>{""});
}

TEST_F(PortalHotkey, AKeyWithoutATrigger_NoneAndNoKeyToldFromTheEventLoop) {
  EXPECT_EQ(source_->Watch(kShift), HotkeyWatch::None);
  EXPECT_TRUE(bound_.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bound_.empty(); }, 5000));
  EXPECT_EQ(bound_, std::vector<std::string>{""});
  EXPECT_TRUE(portal_->CallsOf(QStringLiteral("CreateSession")).empty());

  // Another key chosen before the event loop ran: the refusal is stale.
  bound_.clear();
  EXPECT_EQ(source_->Watch(kShift), HotkeyWatch::None);
  EXPECT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed();
  EXPECT_EQ(bound_, std::vector<std::string>{"F8"});
}

TEST_F(PortalHotkey, ANewKeyWhileHeld_NoEdgeInsideWatchAndTheNewKeysEdges) {
  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed();
  Send(QStringLiteral("Activated"));
  Settle();
  ASSERT_EQ(edges_, std::vector<bool>{true});
  // Rebinding closes the session, which lets the held key go: inside
  // Watch, where no edge may be raised.
  ASSERT_EQ(source_->Watch(kF9), HotkeyWatch::Reported);
  EXPECT_EQ(edges_, std::vector<bool>{true});
  WaitListed(2);
  EXPECT_EQ(source_->Session().ShortcutId(), QStringLiteral("shot_F9"));
  Send(QStringLiteral("Activated"));
  Settle();
  EXPECT_EQ(edges_, (std::vector<bool>{true, true}));
}

TEST_F(PortalHotkey, NoKeyOrTheSourceGone_TheSessionIsClosed) {
  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed();
  const QString first = Session();
  EXPECT_EQ(source_->Watch(0), HotkeyWatch::None);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !portal_->CallsOf(QStringLiteral("Close")).empty(); }, 5000));
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Close")).back().path, first);
  EXPECT_EQ(bound_, std::vector<std::string>{"F8"});

  ASSERT_EQ(source_->Watch(kF8), HotkeyWatch::Reported);
  WaitListed(2);
  source_.reset();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return portal_->CallsOf(QStringLiteral("Close")).size() == 2; }, 5000));
}

// The choice of the factory: only a desktop whose own backend implements
// GlobalShortcuts gets a hotkey from it.
TEST(PortalHotkeyFactory, OnlyWhereTheDesktopsOwnBackendHoldsKeys) {
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("portals")));
  QFile kde(root.filePath(QStringLiteral("portals/kde.portal")));
  ASSERT_TRUE(kde.open(QIODevice::WriteOnly));
  kde.write(
      "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.kde\n"
      "Interfaces=org.freedesktop.impl.portal.Screenshot;"
      "org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=KDE\n");
  kde.close();
  BackendFiles files;
  files.portalFolders = {root.filePath(QStringLiteral("portals"))};
  PrivateBus bus;
  const QDBusConnection client =
      QDBusConnection::connectToBus(bus.Address(), QStringLiteral("factory-client"));
  // The connection (and with it the registration, and the desktop entry)
  // is made only for a part that is made.
  int made = 0;
  const PortalConnectionSource connection = [&] {
    ++made;
    return std::make_shared<PortalConnection>(client);
  };
  constexpr auto kFlow = ShortcutFlow::BindInEachSession;
  EXPECT_FALSE(MakePortalHotkey(connection, {QStringLiteral("GNOME")}, files, kFlow));
  EXPECT_FALSE(MakePortalHotkey(connection, {}, files, kFlow));
  EXPECT_FALSE(MakePortalScreen(connection, {QStringLiteral("GNOME")}, files, QString()));
  EXPECT_EQ(made, 0);
  EXPECT_TRUE(MakePortalHotkey(connection, {QStringLiteral("KDE")}, files, kFlow));
  // Screenshot alone is a screen, the last resort; nothing at all is none.
  EXPECT_TRUE(MakePortalScreen(connection, {QStringLiteral("KDE")}, files, QString()));
  EXPECT_EQ(made, 2);
  // Without a bus, no part.
  EXPECT_FALSE(MakePortalHotkey([] { return nullptr; }, {QStringLiteral("KDE")}, files, kFlow));
  QDBusConnection::disconnectFromBus(QStringLiteral("factory-client"));
}

TEST(ShortcutFlow, Plasma5TakesTheShortcutFromCreateSessionEveryOtherDesktopFromBind) {
  using F = ShortcutFlow;
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("KDE")}, QStringLiteral("5")), F::FromCreateSession);
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("kde")}, QStringLiteral("5")), F::FromCreateSession);
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("KDE")}, QStringLiteral("6")), F::BindInEachSession);
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("KDE")}, QString()), F::BindInEachSession);
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("GNOME")}, QStringLiteral("5")), F::BindInEachSession);
  EXPECT_EQ(ShortcutFlowFor({QStringLiteral("Hyprland")}, QString()), F::BindInEachSession);
}

}  // namespace
}  // namespace snapwick::portal
