#include "app/folders.h"

namespace snapwick {

Folders DeriveFolders(std::string_view exeFolder) {
  std::string app(exeFolder);
  // The system gives a drive's root with its backslash, every other folder
  // without; names below bring their own.
  if (!app.empty() && app.back() == '\\') app.pop_back();
  return {app, app + "\\pic", app + "\\wav\\"};
}

}  // namespace snapwick
