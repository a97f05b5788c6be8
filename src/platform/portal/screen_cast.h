#pragma once
// The screen through the ScreenCast portal: the desktop asks the user once
// which monitor to share, then sends its picture as a PipeWire stream for
// as long as the session lasts. The session asks for one monitor, the one
// the user picks (the portal cannot be asked for the primary one; KDE even
// lists a new virtual output first), without the cursor, and to
// be remembered across runs (persist_mode 2): the restore token it gets
// back skips the chooser next time. The interface makes a token good for
// one start only (xdg-desktop-portal 1.16 still hands the same one back):
// the one each start gives is the one to keep.
//
// The calls run on the Qt event loop of the object's thread, none waits:
// the first start may sit in a dialog for as long as the user likes.

#include <QDBusUnixFileDescriptor>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/portal/portal_session.h"

namespace snapwick::portal {

// The stream the desktop started: its PipeWire node and the monitor's size
// in pixels (empty when the desktop did not say).
struct CastStream {
  std::uint32_t node = 0;
  QSize size;
};

// The first stream of Start's results, a(ua{sv}); nothing when there is
// none.
std::optional<CastStream> FirstStream(const QVariant& streams);

class ScreenCastSession : public PortalSession {
  Q_OBJECT

 public:
  explicit ScreenCastSession(std::shared_ptr<PortalConnection> connection,
                             QObject* parent = nullptr);
  // Closes the session: the desktop stops the stream.
  ~ScreenCastSession() override;

  // Creates a session, selects a monitor and starts it. `restoreToken`
  // from an earlier start skips the chooser when the desktop still knows
  // it; an empty one, or one it forgot, shows the chooser. Ignored while a
  // session is being made or open.
  void Start(const QString& restoreToken);
  // Closes the session; no signal of it arrives after this.
  void Close();
  bool IsOpen() const { return state_ == State::Open; }

 signals:
  // The stream runs: connect to `node` through `remote`.
  void Started(const QDBusUnixFileDescriptor& remote, const snapwick::portal::CastStream& stream);
  // Keep this token for the next start (an empty one: nothing to keep).
  void RestoreTokenIssued(const QString& token);
  // The user declined, or the desktop could not start: Cancelled or
  // Failed. The session is closed.
  void StartFailed(snapwick::portal::ResponseOutcome outcome);
  // The desktop closed an open session (the user stopped sharing, the
  // monitor went away).
  void Ended();

 private:
  enum class State : std::uint8_t { Idle, Starting, Open };

  void OnCreated(const QVariantMap& results) override;
  void OnCreateFailed(ResponseOutcome outcome) override;
  void OnClosedByDesktop() override;
  // Asks the next step of the start; a refusal ends it.
  void Step(const QString& method, const QVariantList& arguments, const QVariantMap& options,
            void (ScreenCastSession::*next)(const QVariantMap&));
  void OnSourcesSelected(const QVariantMap& results);
  void OnStarted(const QVariantMap& results);
  void Fail(ResponseOutcome outcome);

  QString restoreToken_;
  State state_ = State::Idle;
  bool destroying_ = false;
};

}  // namespace snapwick::portal

Q_DECLARE_METATYPE(snapwick::portal::CastStream)
