#include "platform/portal/global_shortcuts.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

#include "fake_portal.h"
#include "platform/portal/portal_connection.h"
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

QVariantMap Listing(const QString& id, const QString& trigger) {
  return {{QStringLiteral("shortcuts"),
           ToDBus({{id,
                    {{QStringLiteral("description"), QStringLiteral("x")},
                     {QStringLiteral("trigger_description"), trigger}}}})}};
}

// Plasma 5.27 by default: the shortcut taken from CreateSession's options
// and listed with its trigger. With `bindFlow_` a desktop of the final
// interface: Plasma 6, which lists the shortcut it remembers (`taken_`)
// from the first ListShortcuts but binds only through BindShortcuts, whose
// answer is `bindCode_` with the list when `bindLists_` (GNOME 48, even
// with 2) or none (Plasma 6's dialog).
class GlobalShortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateBus>();
    portal_ = std::make_unique<FakePortal>(bus_->Address());
    portal_->SetAnswerer([this](const PortalCall& call) -> std::optional<PortalAnswer> {
      std::lock_guard lock(mutex_);
      if (call.method == QLatin1String("CreateSession")) {
        if (holdCreate_) return std::nullopt;
        const auto shortcuts = ShortcutsFrom(call.Options().value(QStringLiteral("shortcuts")));
        if (shortcuts && !shortcuts->isEmpty()) taken_ = shortcuts->first();
        return PortalAnswer{0,
                            {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(call)}}};
      }
      if (call.method == QLatin1String("ListShortcuts")) {
        if (!listsShortcut_) return PortalAnswer{0, {{QStringLiteral("shortcuts"), ToDBus({})}}};
        return PortalAnswer{
            0, Listing(taken_.id,
                       taken_.properties.value(QStringLiteral("preferred_trigger")).toString())};
      }
      if (call.method == QLatin1String("BindShortcuts")) {
        if (holdBind_) return std::nullopt;
        const auto shortcuts = ShortcutsFrom(call.args.value(1));
        if (!shortcuts || shortcuts->isEmpty()) return PortalAnswer{2, {}};
        taken_ = shortcuts->first();
        listsShortcut_ = bindCode_ == 0;
        if (!bindLists_) return PortalAnswer{bindCode_, {}};
        return PortalAnswer{bindCode_, Listing(shortcuts->first().id, QStringLiteral("F8 key"))};
      }
      return PortalAnswer{};
    });
    client_ = QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("shortcuts-client"));
    Make(ShortcutFlow::FromCreateSession);
  }

  void Make(ShortcutFlow flow) {
    session_.reset();
    session_ = std::make_unique<GlobalShortcutsSession>(std::make_shared<PortalConnection>(client_),
                                                        QStringLiteral("snapwick_test"), flow);
  }

  void TearDown() override {
    session_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("shortcuts-client"));
    portal_.reset();
    bus_.reset();
  }

  // Binds F8 and waits for the desktop's answer.
  void BindF8() {
    QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
    ASSERT_EQ(session_->Bind(kF8), Status::Ok);
    ASSERT_TRUE(trigger.wait(5000));
    ASSERT_TRUE(session_->IsOpen());
    sessionPath_ =
        FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession")).back());
  }

  void Send(const QString& name, const QString& session, const QString& id) {
    portal_->Signal(
        QLatin1String(kPortalPath), QLatin1String(kInterface), name,
        {QVariant::fromValue(QDBusObjectPath(session)), id, qulonglong{1}, QVariantMap{}});
  }

  // Signals travel through the daemon: a marker signal sent after them
  // has arrived once everything before it has.
  void Settle() {
    QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
    portal_->Signal(QLatin1String(kPortalPath), QLatin1String(kInterface),
                    QStringLiteral("ShortcutsChanged"),
                    {QVariant::fromValue(QDBusObjectPath(sessionPath_)),
                     ToDBus({{session_->ShortcutId(),
                              {{QStringLiteral("trigger_description"), session_->Trigger()}}}})});
    ASSERT_TRUE(trigger.wait(5000));
  }

  std::unique_ptr<PrivateBus> bus_;
  std::unique_ptr<FakePortal> portal_;
  QDBusConnection client_{QString()};
  std::unique_ptr<GlobalShortcutsSession> session_;
  QString sessionPath_;
  std::mutex mutex_;
  ShortcutEntry taken_;
  bool listsShortcut_ = true;
  uint bindCode_ = 0;
  bool bindLists_ = true;
  bool holdCreate_ = false;
  bool holdBind_ = false;  // a dialog the user has not answered yet
};

TEST_F(GlobalShortcuts, TheShortcutGoesWithCreateSessionAndTheListedTriggerIsReported) {
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F8"));
  const auto create = portal_->CallsOf(QStringLiteral("CreateSession"));
  ASSERT_EQ(create.size(), 1u);
  EXPECT_EQ(create[0].Options().value(QStringLiteral("session_handle_token")).toString(),
            QStringLiteral("snapwick_test"));
  const auto shortcuts = ShortcutsFrom(create[0].Options().value(QStringLiteral("shortcuts")));
  ASSERT_TRUE(shortcuts);
  ASSERT_EQ(shortcuts->size(), 1);
  EXPECT_EQ(shortcuts->first().id, QStringLiteral("shot_F8"));
  EXPECT_EQ(shortcuts->first().properties.value(QStringLiteral("preferred_trigger")).toString(),
            QStringLiteral("F8"));
  EXPECT_FALSE(
      shortcuts->first().properties.value(QStringLiteral("description")).toString().isEmpty());
  // Plasma 5.27 opens System Settings on BindShortcuts: not asked when
  // the list shows the key taken.
  EXPECT_TRUE(portal_->CallsOf(QStringLiteral("BindShortcuts")).empty());
  EXPECT_EQ(session_->Trigger(), QStringLiteral("F8"));
}

TEST_F(GlobalShortcuts, ADesktopThatIgnoresTheOptionsIsAskedToBind) {
  listsShortcut_ = false;
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F8 key"));
  const auto bind = portal_->CallsOf(QStringLiteral("BindShortcuts"));
  ASSERT_EQ(bind.size(), 1u);
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(bind[0].args.value(0)).path(),
            FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]));
}

TEST_F(GlobalShortcuts, ACancelledBindReportsNoKey) {
  listsShortcut_ = false;
  bindCode_ = 1;
  bindLists_ = false;
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QString());
  EXPECT_TRUE(session_->Trigger().isEmpty());
}

TEST_F(GlobalShortcuts, ABareModifierIsRefusedWithoutAskingTheDesktop) {
  EXPECT_EQ(session_->Bind(0x10), Status::Failed);
  QTest::qWait(50);
  EXPECT_TRUE(portal_->Calls().empty());
}

TEST_F(GlobalShortcuts, OnlyOurSessionsEdgesArePairedPressesAndReleases) {
  BindF8();
  QSignalSpy pressed(session_.get(), &GlobalShortcutsSession::Pressed);
  QSignalSpy released(session_.get(), &GlobalShortcutsSession::Released);
  const QString id = session_->ShortcutId();
  // Another session's key, and another shortcut of ours: not ours.
  Send(QStringLiteral("Activated"), sessionPath_ + QStringLiteral("x"), id);
  Send(QStringLiteral("Activated"), sessionPath_, QStringLiteral("shot_F9"));
  // A release with no press before it: the key was down before we bound.
  Send(QStringLiteral("Deactivated"), sessionPath_, id);
  Settle();
  EXPECT_EQ(pressed.size(), 0);
  EXPECT_EQ(released.size(), 0);
  // The keyboard's repeats while held each come through, to tell the
  // program the key is still down; one release ends the hold.
  Send(QStringLiteral("Activated"), sessionPath_, id);
  Send(QStringLiteral("Activated"), sessionPath_, id);
  Send(QStringLiteral("Activated"), sessionPath_, id);
  Send(QStringLiteral("Deactivated"), sessionPath_, id);
  Send(QStringLiteral("Deactivated"), sessionPath_, id);
  Settle();
  EXPECT_EQ(pressed.size(), 3);
  EXPECT_EQ(released.size(), 1);
}

TEST_F(GlobalShortcuts, ASessionTheDesktopClosesEndsAndReleasesAHeldKey) {
  BindF8();
  QSignalSpy pressed(session_.get(), &GlobalShortcutsSession::Pressed);
  QSignalSpy released(session_.get(), &GlobalShortcutsSession::Released);
  QSignalSpy ended(session_.get(), &GlobalShortcutsSession::Ended);
  Send(QStringLiteral("Activated"), sessionPath_, session_->ShortcutId());
  ASSERT_TRUE(pressed.wait(5000));
  portal_->Signal(sessionPath_, QLatin1String(kSessionInterface), QStringLiteral("Closed"),
                  {QVariantMap{}});
  ASSERT_TRUE(ended.wait(5000));
  // Without it the core would take the key as held for good.
  EXPECT_EQ(released.size(), 1);
  EXPECT_FALSE(session_->IsOpen());
  EXPECT_TRUE(session_->Trigger().isEmpty());
  // Edges of the closed session are nobody's.
  Send(QStringLiteral("Activated"), sessionPath_, session_->ShortcutId());
  QTest::qWait(100);
  EXPECT_EQ(pressed.size(), 1);
}

TEST_F(GlobalShortcuts, RebindingClosesTheSessionFirstAndNamesTheShortcutAfterTheNewKey) {
  BindF8();
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  ASSERT_EQ(session_->Bind(kF9), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F9"));
  const auto calls = portal_->Calls();
  // The same token names the new session: it is asked for only after the
  // old one's Close.
  qsizetype closeAt = -1;
  qsizetype secondCreateAt = -1;
  int creates = 0;
  for (qsizetype i = 0; i < static_cast<qsizetype>(calls.size()); ++i) {
    if (calls[i].method == QLatin1String("Close") && calls[i].path == sessionPath_) closeAt = i;
    if (calls[i].method == QLatin1String("CreateSession") && ++creates == 2) secondCreateAt = i;
  }
  ASSERT_GE(closeAt, 0);
  EXPECT_GT(secondCreateAt, closeAt);
  EXPECT_EQ(session_->ShortcutId(), QStringLiteral("shot_F9"));
}

TEST_F(GlobalShortcuts, TheSessionIsClosedWhenAskedAndWhenTheObjectGoes) {
  BindF8();
  QSignalSpy released(session_.get(), &GlobalShortcutsSession::Released);
  Send(QStringLiteral("Activated"), sessionPath_, session_->ShortcutId());
  Settle();
  session_->Close();
  EXPECT_EQ(released.size(), 1);
  EXPECT_FALSE(session_->IsOpen());
  ASSERT_TRUE(
      QTest::qWaitFor([this] { return !portal_->CallsOf(QStringLiteral("Close")).empty(); }, 5000));
  ASSERT_EQ(portal_->CallsOf(QStringLiteral("Close")).size(), 1u);
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Close"))[0].path, sessionPath_);

  BindF8();
  session_.reset();
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("Close")).size() == 2; }, 5000));
}

TEST_F(GlobalShortcuts, Plasma6_BindShortcutsInTheSessionEvenWhenTheRememberedOneIsListed) {
  Make(ShortcutFlow::BindInEachSession);
  {
    // Remembered from an earlier run, listed, and bound by nothing yet.
    std::lock_guard lock(mutex_);
    taken_ = {QStringLiteral("shot_F8"),
              {{QStringLiteral("preferred_trigger"), QStringLiteral("F8")}}};
    bindLists_ = false;  // its dialog's answer: 0 and no list
  }
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F8"));
  // Nothing in CreateSession's options for a desktop that takes none.
  EXPECT_FALSE(portal_->CallsOf(QStringLiteral("CreateSession"))[0].Options().contains(
      QStringLiteral("shortcuts")));
  // Bound first, then the list read back: never the list alone.
  std::vector<QString> order;
  for (const auto& call : portal_->Calls()) {
    if (call.interface == QLatin1String(kInterface)) order.push_back(call.method);
  }
  EXPECT_EQ(order,
            (std::vector<QString>{QStringLiteral("CreateSession"), QStringLiteral("BindShortcuts"),
                                  QStringLiteral("ListShortcuts")}));
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(
                portal_->CallsOf(QStringLiteral("BindShortcuts"))[0].args.value(0))
                .path(),
            FakePortal::SessionPathOf(portal_->CallsOf(QStringLiteral("CreateSession"))[0]));

  // The dialog cancelled for another key: no key, said.
  {
    std::lock_guard lock(mutex_);
    bindCode_ = 1;
  }
  ASSERT_EQ(session_->Bind(kF9), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QString());
  EXPECT_TRUE(session_->IsOpen());
}

TEST_F(GlobalShortcuts, Gnome_ABindAnsweredWith2ThatListsTheShortcutIsBound_OneBindPerSession) {
  Make(ShortcutFlow::BindInEachSession);
  {
    std::lock_guard lock(mutex_);
    bindCode_ = 2;  // GNOME 48 after "Add", 10 s later
  }
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  QSignalSpy ended(session_.get(), &GlobalShortcutsSession::Ended);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F8 key"));
  EXPECT_TRUE(session_->IsOpen());
  EXPECT_EQ(ended.size(), 0);
  EXPECT_TRUE(portal_->CallsOf(QStringLiteral("ListShortcuts")).empty());

  // Another key: a session of its own, bound once.
  ASSERT_EQ(session_->Bind(kF9), Status::Ok);
  ASSERT_TRUE(trigger.wait(5000));
  const auto creates = portal_->CallsOf(QStringLiteral("CreateSession"));
  const auto binds = portal_->CallsOf(QStringLiteral("BindShortcuts"));
  ASSERT_EQ(creates.size(), 2u);
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(binds[1].args.value(0)).path(),
            FakePortal::SessionPathOf(creates[1]));
  EXPECT_EQ(ShortcutsFrom(binds[1].args.value(1))->first().id, QStringLiteral("shot_F9"));

  // A key changed while the desktop's dialog is up waits for its answer:
  // GNOME keeps the dialog up for a closed session, and its Add would bind
  // the old key. The answer for the old key is nobody's.
  trigger.clear();
  {
    std::lock_guard lock(mutex_);
    holdBind_ = true;
  }
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("BindShortcuts")).size() == 3; }, 5000));
  const PortalCall dialog = portal_->CallsOf(QStringLiteral("BindShortcuts"))[2];
  ASSERT_EQ(session_->Bind(kF9), Status::Ok);
  QTest::qWait(100);
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("CreateSession")).size(), 3u);
  {
    std::lock_guard lock(mutex_);
    holdBind_ = false;
  }
  portal_->Respond(dialog, {0, Listing(QStringLiteral("shot_F8"), QStringLiteral("Press F8"))});
  ASSERT_TRUE(trigger.wait(5000));
  // Only the new session's answer (the fake's words), none of "Press F8".
  ASSERT_EQ(trigger.size(), 1);
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F8 key"));
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("CreateSession")).size(), 4u);
  EXPECT_EQ(
      ShortcutsFrom(portal_->CallsOf(QStringLiteral("BindShortcuts"))[3].args.value(1))->first().id,
      QStringLiteral("shot_F9"));

  // Closed while the dialog is up: the dialog is closed too (KDE's goes).
  {
    std::lock_guard lock(mutex_);
    holdBind_ = true;
  }
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("BindShortcuts")).size() == 5; }, 5000));
  const QString request = portal_->CallsOf(QStringLiteral("BindShortcuts"))[4].requestPath;
  session_->Close();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const auto closes = portal_->CallsOf(QStringLiteral("Close"));
        return std::any_of(closes.begin(), closes.end(), [&](const PortalCall& c) {
          return c.path == request && c.interface == QLatin1String(kRequestInterface);
        });
      },
      5000));
}

TEST_F(GlobalShortcuts, ASessionEndedWhileBeingMadeIsClosedOnceItExists_TheNextComesAfter) {
  {
    std::lock_guard lock(mutex_);
    holdCreate_ = true;
  }
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("CreateSession")).size() == 1; }, 5000));
  // The key changes to none, then to F9, before the desktop has answered.
  session_->Close();
  QSignalSpy trigger(session_.get(), &GlobalShortcutsSession::TriggerReported);
  {
    std::lock_guard lock(mutex_);
    holdCreate_ = false;
  }
  ASSERT_EQ(session_->Bind(kF9), Status::Ok);
  QTest::qWait(100);
  // The same token cannot name a second session while the first is there.
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("CreateSession")).size(), 1u);
  EXPECT_TRUE(portal_->CallsOf(QStringLiteral("Close")).empty());

  const PortalCall first = portal_->CallsOf(QStringLiteral("CreateSession"))[0];
  const QString firstPath = FakePortal::SessionPathOf(first);
  portal_->Respond(first, {0, {{QStringLiteral("session_handle"), firstPath}}});
  ASSERT_TRUE(trigger.wait(5000));
  EXPECT_EQ(trigger.takeFirst().at(0).toString(), QStringLiteral("F9"));
  const auto calls = portal_->Calls();
  const auto closeAt = std::find_if(calls.begin(), calls.end(), [](const PortalCall& c) {
    return c.method == QLatin1String("Close");
  });
  ASSERT_NE(closeAt, calls.end());
  EXPECT_EQ(closeAt->path, firstPath);
  const auto secondCreate = std::find_if(closeAt, calls.end(), [](const PortalCall& c) {
    return c.method == QLatin1String("CreateSession");
  });
  EXPECT_NE(secondCreate, calls.end());
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Close")).size(), 1u);
  EXPECT_EQ(session_->ShortcutId(), QStringLiteral("shot_F9"));
}

TEST_F(GlobalShortcuts, ASessionLeftBeingMadeByAnObjectThatWentIsStillClosed) {
  {
    std::lock_guard lock(mutex_);
    holdCreate_ = true;
  }
  auto connection = std::make_shared<PortalConnection>(client_);
  auto session = std::make_unique<GlobalShortcutsSession>(connection, QStringLiteral("gone"),
                                                          ShortcutFlow::BindInEachSession);
  ASSERT_EQ(session->Bind(kF8), Status::Ok);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("CreateSession")).size() == 1; }, 5000));
  session.reset();  // the connection lives on, shared with the screen
  const PortalCall create = portal_->CallsOf(QStringLiteral("CreateSession"))[0];
  portal_->Respond(create,
                   {0, {{QStringLiteral("session_handle"), FakePortal::SessionPathOf(create)}}});
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return portal_->CallsOf(QStringLiteral("Close")).size() == 1; }, 5000));
  EXPECT_EQ(portal_->CallsOf(QStringLiteral("Close"))[0].path, FakePortal::SessionPathOf(create));
}

TEST_F(GlobalShortcuts, ADesktopThatRefusesTheSessionEndsIt) {
  portal_->SetAnswerer([](const PortalCall&) { return PortalAnswer{2, {}}; });
  QSignalSpy ended(session_.get(), &GlobalShortcutsSession::Ended);
  ASSERT_EQ(session_->Bind(kF8), Status::Ok);
  ASSERT_TRUE(ended.wait(5000));
  EXPECT_FALSE(session_->IsOpen());
}

}  // namespace
}  // namespace snapwick::portal
