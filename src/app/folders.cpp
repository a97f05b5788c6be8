#include "app/folders.h"

namespace snapwick {

Folders DeriveFolders(std::string_view exeFolder, char separator) {
  std::string app(exeFolder);
  // The system gives a drive's root with its separator, every other folder
  // without; the names joined below bring their own.
  if (!app.empty() && app.back() == separator) app.pop_back();
  const std::string sep(1, separator);
  return {app, app + sep + "pic", app + sep + "wav" + sep};
}

}  // namespace snapwick
