#pragma once
// What the program's portal sessions (GlobalShortcuts, ScreenCast) share:
// a session is asked for with CreateSession, lives at a path made of the
// connection's name and the session's token, may be closed by the desktop
// (its Closed signal), and is ended with Session.Close.
//
// Ending is where sessions go wrong: a session whose CreateSession is still
// unanswered has no object to close yet, and abandoning the request would
// leave it behind, holding its key (or its screen) for as long as the
// connection lasts, and holding its path, so that the next session of the
// same token could not be made. So a session ended while it is being made
// is closed as soon as its handle is known, even after this object has
// gone; and a new session is asked for only once every Close this object
// sent has been answered.
//
// Nothing is asked before the connection's registration has settled (the
// portal takes an id only before any other call); where it was refused,
// the creation fails, from the event loop.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/portal/portal_connection.h"
#include "platform/portal/portal_request.h"

namespace snapwick::portal {

class PortalSession : public QObject {
  Q_OBJECT

 public:
  // Ends the session.
  ~PortalSession() override;

 protected:
  using Answer = std::function<void(ResponseOutcome outcome, const QVariantMap& results)>;

  // Sessions of `interface` ("org.freedesktop.portal.ScreenCast").
  PortalSession(std::shared_ptr<PortalConnection> connection, const char* interface,
                QObject* parent);

  // Ends any session of this object, then asks for a new one with
  // `token` as its handle token and `options` as CreateSession's; the
  // answer comes as OnCreated or OnCreateFailed.
  void CreateSession(const QString& token, const QVariantMap& options);
  // Asks `method`(arguments..., options) of the interface about the open
  // session, instead of any request still unanswered.
  void Ask(const QString& method, const QVariantList& arguments, const QVariantMap& options,
           Answer then);
  // Ends the session, whatever stage it is at; nothing of it is heard
  // after this.
  void EndSession();

  // Created, and not ended.
  bool HasSession() const { return !path_.isEmpty(); }
  const QString& SessionPath() const { return path_; }
  const QDBusConnection& Bus() const { return connection_->Bus(); }

  // The session exists; `results` are CreateSession's.
  virtual void OnCreated(const QVariantMap& results) = 0;
  // The desktop (or the registration) refused it.
  virtual void OnCreateFailed(ResponseOutcome outcome) = 0;
  // The desktop closed the open session; it is forgotten already.
  virtual void OnClosedByDesktop() = 0;

 private slots:
  void OnClosed(const QDBusMessage& message);

 private:
  struct Wanted {
    QString token;
    QVariantMap options;
  };

  void TryCreate();
  void Listen(bool on);
  void SendClose(const QString& path);
  void CloseOnceCreated(PortalRequest* create);
  void CloseAnswered();

  std::shared_ptr<PortalConnection> connection_;
  QString interface_;
  QString path_;
  QString creatingToken_;
  PortalRequest* request_ = nullptr;
  bool creating_ = false;  // request_ is the CreateSession
  std::optional<Wanted> wanted_;
  int closing_ = 0;  // Close calls sent and not answered yet
  // Counts ends and creations, so that a refusal queued for one creation
  // says nothing of a later one.
  std::uint64_t round_ = 0;
};

}  // namespace snapwick::portal
