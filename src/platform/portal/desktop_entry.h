#pragma once
// The program's application id and its desktop entry. A program started
// from a folder has no id of its own in the desktop's eyes, and newer
// portal front ends (xdg-desktop-portal 1.22) refuse it GlobalShortcuts:
// it names itself through the portal's registry, which takes an id only
// when a desktop entry of that name is found in the XDG data folders. So
// the program keeps one in the user's own folder, made from the entry it
// ships, pointing at this copy of itself: the desktop's dialogs and
// settings show its name and icon from there.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace snapwick::portal {

// Reverse DNS of the publisher's address (https://kelmont.example/snapwick).
inline constexpr char kAppId[] = "example.kelmont.Snapwick";
// The icon shipped beside the executable.
inline constexpr char kIconFile[] = "example.kelmont.Snapwick.png";

// "example.kelmont.Snapwick.desktop".
QString DesktopEntryName();

// The entry the program ships (the same file lies beside the executable),
// carried inside it so that a lost file costs nothing.
QByteArray ShippedDesktopEntry();

// `shipped` with its Exec= running `executable` and its Icon= naming the
// file `icon`, both absolute paths; the rest as it is. Nothing when a path
// holds a character no entry can carry (a line break or another control
// character).
std::optional<QByteArray> DesktopEntryFor(const QByteArray& shipped, const QString& executable,
                                          const QString& icon);

enum class EntryWrite : std::uint8_t {
  Kept,     // it already held the text
  Written,  // made, or rewritten (the program was moved)
  Failed,
};

// Makes the file at `path` hold `text`, its folder too: left alone when it
// already does, otherwise written whole under another name and renamed over
// it, so that a reader never sees half an entry.
EntryWrite WriteDesktopEntry(const QString& path, const QByteArray& text);

// $XDG_DATA_HOME/applications (~/.local/share/applications), the first
// folder the portal looks in.
QString UserApplicationsFolder();

// Makes sure the user's folder holds the entry for this copy of the
// program (the running executable, the icon beside it).
EntryWrite EnsureOwnDesktopEntry();

}  // namespace snapwick::portal
