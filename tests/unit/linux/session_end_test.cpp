#include "platform/linux/session_end.h"

#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace snapwick::linux {
namespace {

// Qt's session manager delivers the end of the session as a spontaneous
// Quit event to the application.
bool SendQuit(bool spontaneous) {
  QEvent quit(QEvent::Quit);
  if (spontaneous) QSpontaneKeyEvent::setSpontaneous(&quit);
  quit.setAccepted(false);
  // sendEvent() would clear the spontaneous mark.
  QCoreApplication::instance()->notify(QCoreApplication::instance(), &quit);
  return quit.isAccepted();
}

TEST(SessionEnd, QuitFromTheSessionManager_OneRequestWhoseAnswerDecides) {
  for (const bool goOn : {false, true}) {
    int requests = 0;
    SessionEnd watch([&] {
      ++requests;
      return goOn;
    });
    EXPECT_EQ(SendQuit(true), !goOn) << goOn;
    EXPECT_EQ(requests, 1) << goOn;
  }
}

// Takes the Quit events that no one else takes, so that the test program
// itself goes on.
struct QuitSink final : QObject {
  QuitSink() { QCoreApplication::instance()->installEventFilter(this); }
  ~QuitSink() override { QCoreApplication::instance()->removeEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Quit) return false;
    ++quits;
    return true;
  }
  int quits = 0;
};

TEST(SessionEnd, QuitFromCodeOrAfterTheWatch_NotTakenForTheSessionsEnd) {
  QuitSink sink;
  int requests = 0;
  {
    SessionEnd watch([&] {
      ++requests;
      return true;
    });
    SendQuit(false);
  }
  SendQuit(true);
  EXPECT_EQ(requests, 0);
  EXPECT_EQ(sink.quits, 2);
}

}  // namespace
}  // namespace snapwick::linux
