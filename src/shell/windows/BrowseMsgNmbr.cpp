// "Forum Messages": the browse of a forum or newsgroup database.
#include "shell/windows/BrowseWindow.h"

namespace quill::shell {
namespace {
WindowRegistrar registrar({"BrowseMsgNmbr", WindowGroup::NotTools, true, 1,
                           [](Frame& f) -> QWidget* {
                               if (f.session().Mem.ForumType == TypeMail) return nullptr;
                               return new BrowseWindow(f, BrowseKind::Forum);
                           }});
}  // namespace
}  // namespace quill::shell
