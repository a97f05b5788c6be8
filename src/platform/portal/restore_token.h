#pragma once
// The screen-cast consent kept between runs: a small file beside set.ini
// holding the desktop's last restore token. Losing it costs only the
// chooser dialog once more, so every failure here is quiet.

#include <QString>

#include "platform/status.h"

namespace snapwick::portal {

// The token kept at `path`; empty when there is none or the file does not
// hold one (a token is short printable ASCII).
QString LoadRestoreToken(const QString& path);
// Replaces the file in one step; an empty token removes it.
Status SaveRestoreToken(const QString& path, const QString& token);

}  // namespace snapwick::portal
